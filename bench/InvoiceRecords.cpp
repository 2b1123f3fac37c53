#include "InvoiceRecords.h"

#include "Engine.h"
#include "InvoiceSchema.h"
#include "SayiOku.h"

#include <QLocale>

#include <cmath>
#include <iterator>
#include <stdexcept>

namespace fatura::bench {

namespace {

struct Item {
    const char* description;
    const char* unit;
    double basePrice;
    bool fractional;
};
struct Place {
    const char* district;
    const char* city;
};
constexpr const char* kFirstNames[] = {
    "Ahmet", "Mehmet", "Ayşe", "Fatma", "Mustafa", "Emine", "Hüseyin", "Hatice", "İbrahim", "Zeynep",
    "Hasan", "Elif", "Ali", "Şükrü", "Gülşen", "Çağrı", "Özlem", "Ümit", "Oğuz", "Gökhan", "Serap",
    "Tuğba", "Ercan", "Nurşen", "Yusuf", "Büşra", "Kâzım", "Ömer", "Sevgül", "Doğan"};
constexpr const char* kSurnames[] = {
    "Yılmaz", "Kaya", "Demir", "Şahin", "Çelik", "Yıldız", "Yıldırım", "Öztürk", "Aydın", "Özdemir",
    "Arslan", "Doğan", "Kılıç", "Aslan", "Çetin", "Kara", "Koç", "Kurt", "Özkan", "Şimşek", "Polat",
    "Erdoğan", "Güneş", "Aksoy", "Bulut", "Tekin", "Ünal", "Karataş", "Ateş", "Gündoğdu", "Taş",
    "Işık", "Uçar", "Ekinci", "Soylu", "Eren"};
constexpr const char* kTrades[] = {
    "İnşaat", "Tekstil", "Gıda", "Otomotiv", "Mobilya", "Elektrik", "Kırtasiye", "Hırdavat",
    "Tarım Ürünleri", "Nakliyat", "Bilgisayar", "Temizlik Malzemeleri", "Yapı Market", "Kuyumculuk",
    "Matbaacılık", "Tesisat"};
constexpr const char* kCompanyForms[] = {"Tic. Ltd. Şti.", "San. ve Tic. A.Ş.", "Ltd. Şti.", "A.Ş.",
                                         "Tic."};
constexpr const char* kNeighbourhoods[] = {
    "Kocatepe", "Bahçelievler", "Yenişehir", "Cumhuriyet", "Gazi Osman Paşa", "Çamlıca", "Fevzi Çakmak",
    "Esentepe", "Karşıyaka", "Kültür", "Güzelyalı", "Hürriyet", "Şirinevler", "Ümraniye"};
constexpr const char* kStreets[] = {
    "Atatürk Cad.", "İstiklal Cad.", "Gülistan Sok.", "Menekşe Sok.", "Cumhuriyet Blv.", "Şehit Ömer Sok.",
    "Mimar Sinan Cad.", "Çınarlı Sok.", "Değirmen Sok.", "Yeşilırmak Cad."};
constexpr Place kPlaces[] = {
    {"Çankaya", "Ankara"}, {"Keçiören", "Ankara"}, {"Kadıköy", "İstanbul"}, {"Üsküdar", "İstanbul"},
    {"Şişli", "İstanbul"}, {"Beşiktaş", "İstanbul"}, {"Konak", "İzmir"}, {"Karşıyaka", "İzmir"},
    {"Osmangazi", "Bursa"}, {"Selçuklu", "Konya"}, {"Seyhan", "Adana"}, {"Muratpaşa", "Antalya"},
    {"Şahinbey", "Gaziantep"}, {"Tepebaşı", "Eskişehir"}, {"Ortahisar", "Trabzon"}, {"İlkadım", "Samsun"}};
constexpr Item kItems[] = {
    {"A4 Fotokopi Kağıdı 80 gr (500'lü)", "Paket", 145.0, false},
    {"Çimento CEM I 42,5 R 50 kg", "Torba", 210.0, false},
    {"İnşaat Demiri Nervürlü Ø12 mm", "Kg", 24.5, true},
    {"Laminat Parke 8 mm Meşe Desenli", "m²", 385.0, true},
    {"İç Cephe Su Bazlı Boya 15 lt Beyaz", "Kutu", 1240.0, false},
    {"Sunta Vidası 4x40 (1000'li)", "Kutu", 190.0, false},
    {"Yazıcı Toneri Siyah Yüksek Kapasiteli", "Adet", 2150.0, false},
    {"Zeytinyağı Natürel Sızma 5 lt", "Teneke", 1650.0, false},
    {"Un Tip 550 Ekmeklik 50 kg", "Çuval", 780.0, false},
    {"Bakır Kablo NYA 2,5 mm² (100 m)", "Rulo", 2450.0, false},
    {"Pamuklu Kumaş Ham Bez 160 cm", "Metre", 92.0, true},
    {"Dizüstü Bilgisayar Çantası 15,6\"", "Adet", 640.0, false},
    {"Nakliye Bedeli İstanbul - Ankara", "Sefer", 18500.0, false},
    {"Sıvı Sabun Ekonomik 5 lt", "Bidon", 165.0, false},
    {"Ahşap Çalışma Masası 120x60", "Adet", 4750.0, false},
    {"Galvaniz Boru 1/2\" (6 m)", "Boy", 430.0, false},
    {"Hırdavat Seti Çekiç ve Pense", "Takım", 890.0, false},
    {"Kuru Kayısı Malatya Jumbo", "Kg", 310.0, true},
    {"Fındık İçi Giresun Tombul", "Kg", 420.0, true},
    {"Şeker Toz Kristal 50 kg", "Çuval", 1850.0, false}};


double round2(double value)
{
    return std::round(value * 100) / 100;
}

QString turkishUpper(const QString& text)
{
    return QLocale(QLocale::Turkish).toUpper(text);
}

} // namespace

const std::vector<Column>& invoiceColumns()
{
    static const std::vector<Column> all = [] {
        std::vector<Column> result;
        const engine::TableDefinition definition = archive::invoiceTableDefinition();
        for (const engine::FieldDef& field : definition.fields) {
            if (field.kind == engine::FieldKind::AutoIncrement)
                continue;
            const bool text = field.kind == engine::FieldKind::Text || field.kind == engine::FieldKind::FixedText;
            result.push_back({field.name, text, int(field.size)});
        }
        return result;
    }();
    return all;
}

int columnIndex(const std::string& name)
{
    const auto& all = invoiceColumns();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].name == name)
            return int(i);
    }
    throw std::logic_error("no invoice column " + name);
}

Invoice InvoiceGenerator::next()
{
    Invoice invoice(invoiceColumns().size());
    setText(invoice, "TARIH", QString::asprintf("%02d.%02d.%d", int(1 + pick(28)), int(1 + pick(12)),
                                                 int(2023 + pick(3))));
    const QString surname = pickFrom(kSurnames);
    if (pick(2) == 0) {
        setText(invoice, "SAYIN1", turkishUpper(surname + ' ' + pickFrom(kTrades) + ' ' + pickFrom(kCompanyForms)));
        setText(invoice, "VNO", digits(10));
    } else {
        setText(invoice, "SAYIN1", pickFrom(kFirstNames) + ' ' + surname);
        setText(invoice, "VNO", digits(11));
    }
    setText(invoice, "SAYIN2", pickFrom(kNeighbourhoods) + " Mah. " + pickFrom(kStreets) + " No:" +
                                   QString::number(1 + pick(180)) + '/' + QString::number(1 + pick(24)));
    const int place = int(pick(std::size(kPlaces)));
    setText(invoice, "SAYIN3", QString::fromUtf8(kPlaces[place].district) + " / " +
                                   turkishUpper(QString::fromUtf8(kPlaces[place].city)));
    setText(invoice, "VDAIRESI", pick(5) == 0 ? QStringLiteral("Büyük Mükellefler")
                                              : QString::fromUtf8(kPlaces[place].district));

    const int rows = int(2 + pick(7)); // 2..8 item rows
    double subtotal = 0;
    for (int row = 1; row <= 8; ++row) {
        const std::string n = std::to_string(row);
        double quantity = 0;
        double price = 0;
        double amount = 0;
        if (row <= rows) {
            const Item& item = kItems[pick(std::size(kItems))];
            quantity = item.fractional ? round2(0.5 + double(pick(20000)) / 100) : double(1 + pick(250));
            price = round2(item.basePrice * (0.8 + double(pick(41)) / 100));
            amount = round2(quantity * price);
            setText(invoice, "C" + n, QString::fromUtf8(item.description));
            setText(invoice, "B" + n, QString::fromUtf8(item.unit));
        }
        setNumber(invoice, "M" + n, quantity);
        setNumber(invoice, "F" + n, price);
        setNumber(invoice, "T" + n, amount);
        subtotal += amount;
    }
    subtotal = round2(subtotal);
    static constexpr double kRates[] = {1, 10, 20, 20, 20};
    const double tax = round2(subtotal * kRates[pick(std::size(kRates))] / 100);
    const double total = round2(subtotal + tax);
    setNumber(invoice, "YEKUN", subtotal);
    setNumber(invoice, "KDV", tax);
    setNumber(invoice, "TOPLAM", total);
    const std::string words = fatura::AmountToWords(1, 0, total);
    setText(invoice, "YANLIZ", decoder_.decode(QByteArrayView(words.data(), qsizetype(words.size()))));
    return invoice;
}

void InvoiceGenerator::setText(Invoice& invoice, const std::string& column, QString text)
{
    const int i = columnIndex(column);
    text.truncate(invoiceColumns()[i].size);
    while (text.endsWith(' '))
        text.chop(1);
    const QByteArray bytes = encoder_.encode(text);
    if (encoder_.hasError())
        throw std::logic_error("not in code page 1254: " + text.toStdString());
    invoice[i].cp1254 = bytes.toStdString();
    invoice[i].utf8 = text.toStdString();
}

void InvoiceGenerator::setNumber(Invoice& invoice, const std::string& column, double value)
{
    invoice[columnIndex(column)].number = value;
}

QString InvoiceGenerator::digits(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar('0' + int(i == 0 ? 1 + pick(9) : pick(10)));
    return text;
}

} // namespace fatura::bench

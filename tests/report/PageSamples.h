#pragma once
// Pages for the preview and page-file tests, and the comparison that says two pages are the same.
#include "Page.h"

#include <QString>
#include <QTest>

namespace fatura::testing {

// An invoice-like page: left-aligned texts, right-aligned money boxes, a CR-separated text with
// an LF left in, non-ASCII letters, and a text that is empty.
inline report::Page invoicePage()
{
    report::Page page;
    page.labels = {
        {1158.3, 142.3, 0, false, QStringLiteral("07.03.2026")},
        {200.0, 300.0, 0, false, QStringLiteral("ŞİŞLİ GÜNEŞ TİCARET ÖĞÜ ĞÇ")},
        {1153.0, 1137.2, 238.0, true, QStringLiteral("1.000.000,00")},
        {900.5, 1200.25, 238.0, true, QStringLiteral("-3,00\r\n2,5 Adet")},
        {0, 0, 0, false, QString()},
        {-50.0, 2990.0, 0, false, QStringLiteral("off the sheet")},
    };
    return page;
}

inline bool samePages(const report::Page& a, const report::Page& b)
{
    if (a.size != b.size || a.fontFamily != b.fontFamily || a.pointSize != b.pointSize || a.labels.size() != b.labels.size())
        return false;
    for (std::size_t i = 0; i < a.labels.size(); ++i) {
        const report::PageLabel& x = a.labels[i];
        const report::PageLabel& y = b.labels[i];
        if (x.left != y.left || x.top != y.top || x.boxWidth != y.boxWidth || x.rightAligned != y.rightAligned ||
            x.text != y.text)
            return false;
    }
    return true;
}

} // namespace fatura::testing

#pragma once
// Where the program's links lead.

namespace fatura {

inline constexpr const char* kHomePage = "https://fatura.example.com/";
inline constexpr const char* kHomePageCaption = "www.fatura.example.com";
inline constexpr const char* kProductPage = "https://fatura.example.com/ucretli-surum";
// Shipped inside the program, so the information window needs no network.
inline constexpr const char* kInformationPage = "qrc:/info/bilgi.html";

} // namespace fatura

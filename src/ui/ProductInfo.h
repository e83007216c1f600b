#pragma once

// The product's fixed texts: the application title, the parts of the main
// window's caption and the version the program reports.

namespace vellrun::ui::product {

inline constexpr char kApplicationTitle[] = "RAZ Arorad";
inline constexpr char kGeneratorName[] = "Korvel: Vellrun - RAZ Arorad Generator";
inline constexpr char kVersion[] = "v2.12";
inline constexpr char kVersionDate[] = "2009-10-30";

}  // namespace vellrun::ui::product

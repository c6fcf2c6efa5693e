// The program's version, shown by -V and written into every page.
#pragma once

inline constexpr const char* program_version = "2.23";
inline constexpr const char* program_edition = "08";
inline constexpr const char* program_mod_date = "26-Aug-2013";

// The console as a person at a terminal sees it.  When standard output or
// standard error is a terminal, its bytes pass through a stream of ours:
// the messages, ISO-8859-2 bytes, are shown in UTF-8 when the terminal's
// locale uses it, and a status line shown on standard error is cleared
// before anything else is written.  Pipes and files get the bytes unchanged.
#pragma once

#include <cstddef>
#include <string>

/// Puts the streams in place.  Call once, after setlocale(LC_CTYPE, "") and
/// before anything is written.
void terminal_setup();

/// True when standard error is a terminal, so a status line can be shown.
bool terminal_shows_status();

/// Shows text (ISO-8859-2, one line) as the status line on standard error in
/// place of the one shown, cut to the terminal's width.
void terminal_show_status(const char* text);

/// Clears the status line, if one is shown.
void terminal_clear_status();

/// Latin-2 text in UTF-8: every one of its 256 bytes has a character.
std::string latin2_to_utf8(const char* text, std::size_t n);

#include "common/char_classes.hpp"

#include <cctype>
#include <cstring>

void
load_char_classes()
{
    for (int c = 0; c < 256; ++c) {
        std::uint16_t bits = 0;
        const bool alnum = std::isalnum(c) != 0;
        if (alnum)
            bits |= cc_alnum;
        // Bytes of the upper half always pass as URL characters, and the end
        // of the text counts as accepted: callers stop there themselves.
        if (c >= 128 || c == 0 || (c < 128 && alnum) || std::strchr(":/\\.,' *!-+_@~()[]", c))
            bits |= cc_url_strict | cc_url_loose;
        if (c != 0 && std::strchr(";?&=", c))
            bits |= cc_url_loose;
        if (c < 32 || c == 127 || c == '<' || c == '>')
            bits |= cc_markup;
        if (c < 32 || c == 127 || c == '<')
            bits |= cc_ref_stop;
        if (c == 0 || c == ' ' || c == '\t' || c == '"' || c == '[' || c == ']' || c == '(' ||
            c == ')')
            bits |= cc_field;
        if (alnum || c == '-' || c == '.' || c == ':')
            bits |= cc_host;
        if (c != 0)
            bits |= (bits & cc_url_strict ? cc_url_strict_text : 0) |
                    (bits & cc_url_loose ? cc_url_loose_text : 0);
        g_char_class[c] = bits;
        g_lower[c] = static_cast<unsigned char>(std::tolower(c));
    }
}

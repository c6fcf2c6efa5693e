#include "test_support.hpp"

#include <iconv.h>

std::string
utf8_of_latin2(const std::string& bytes)
{
    iconv_t cd = iconv_open("UTF-8", "ISO-8859-2");
    std::string out(bytes.size() * 2 + 1, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char* o = out.data();
    std::size_t out_left = out.size();
    iconv(cd, &in, &in_left, &o, &out_left);
    iconv_close(cd);
    out.resize(out.size() - out_left);
    return out;
}

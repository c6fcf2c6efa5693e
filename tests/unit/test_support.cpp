#include "test_support.hpp"

#include <fstream>
#include <sstream>

#include <iconv.h>
#include <sys/stat.h>

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

std::string
content_of(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool
exists(const std::string& name)
{
    struct stat st;
    return lstat(name.c_str(), &st) == 0;
}

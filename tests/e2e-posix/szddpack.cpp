// szddpack: compresses standard input into an SZDD stream on standard
// output, so the end-to-end tests can build self-expanding files with
// archive streams that qoxpack would refuse to make.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include "szdd_pack.h"

int main()
{
    std::string in((std::istreambuf_iterator<char>(std::cin.rdbuf())), {});
    std::vector<uint8_t> out = szdd_compress((const uint8_t *)in.data(), in.size(), '_');
    return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() ? 0 : 1;
}

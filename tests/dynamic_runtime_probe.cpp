/* SPDX-License-Identifier: MIT */
/* A program that needs the MinGW C++ runtime DLLs when it is not linked
 * statically: the import check must reject it. */
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    std::string name = argc > 0 ? argv[0] : "";
    std::cout << name.size() << '\n';
    return 0;
}

#include <cstdio>

int main()
{
    std::fputs("orvalis-upgrade: the window is not built yet; the upgrade engine is tested by ctest.\n",
               stderr);
    return 1;
}

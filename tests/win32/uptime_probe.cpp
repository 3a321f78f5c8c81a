// Prints the milliseconds since system start as Windows reports them, for the end-to-end tests.
#include <windows.h>

#include <cstdio>

int main() {
    std::printf("%llu\n", static_cast<unsigned long long>(GetTickCount64()));
    return 0;
}

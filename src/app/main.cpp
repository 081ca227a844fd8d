#include <cstdio>

int main() {
    std::puts("zorvex " ZORVEX_VERSION);
    return 0;
}

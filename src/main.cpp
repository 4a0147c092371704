#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::puts("Tharvel 1.1");
    return 0;
}

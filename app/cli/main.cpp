// Entry point of the headless tamber front end.
#include <cstdio>

int main(int argc, char** argv) {
    std::fprintf(stderr, "usage: tamber [options] files...\n");
    return argc > 1 ? 0 : 2;
}

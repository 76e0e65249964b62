#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("varnook %s\n", VARNOOK_VERSION);
            return 0;
        }
    }
    std::fprintf(stderr, "varnook: processing is not available in this build yet\n");
    return 2;
}

// Writes the unit the console would write for a service, so the package ships that very
// text: zella-unit-text NAME DISPLAY-NAME EXECUTABLE DATA-DIRECTORY OUTPUT
#include <cstdio>

#include "platform/files.h"
#include "platform/service_manager.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s NAME DISPLAY-NAME EXECUTABLE DATA-DIRECTORY OUTPUT\n", argv[0]);
        return 2;
    }
    std::string text = platform::SystemdUnitText({argv[1], argv[2], argv[3]}, {argv[4], ""});
    if (!platform::WriteFileAtomic(argv[5], text)) {
        std::perror(argv[5]);
        return 1;
    }
    return 0;
}

// libzentraq-cli-quick.so: the quick picture path that zentraq-cli's
// executable tries before it loads the tool's Qt library (launcher.cpp).
#include "quick_picture.h"

extern "C" __attribute__((visibility("default"))) int zentraq_cli_quick(int argc, char* argv[]) {
    return zentraq::cli::quickPicture(argc, argv);
}

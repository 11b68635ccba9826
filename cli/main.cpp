#include "cli/app.h"
#include "platform/system.h"

int main(int argc, char** argv) { return cli::run(platform::arguments(argc, argv)); }

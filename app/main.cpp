// The editor takes no command-line arguments; it works in the current directory.
#include "app/startup.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    const int status = runTarvik();
    releaseAll();
    return status;
}

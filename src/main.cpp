// MEV: a media browser for one folder tree at a time.
#include "ui/app/application.hpp"

// Under AddressSanitizer: GTK, the web engine and the graphics drivers keep allocations
// until exit and unload modules whose blocks cannot even be named, so a leak report at
// exit is noise. LSAN_OPTIONS=detect_leaks=1 still turns it on.
extern "C" const char* __lsan_default_options()
{
    return "detect_leaks=0";
}

int main(int argc, char** argv)
{
    return mev::RunApplication(argc, argv);
}

// MEV: a media browser for one folder tree at a time.
#include <malloc.h>

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
    // Drawing buffers the size of the window come and go with every resize and tab. Left
    // to its own rule, the allocator would take them from the heap after the first one is
    // freed, and keep the heap at its largest for good; mapped on their own, they go back
    // to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    return mev::RunApplication(argc, argv);
}

// MEV: a media browser for one folder tree at a time.
#include "ui/app/application.hpp"

int main(int argc, char** argv)
{
    return mev::RunApplication(argc, argv);
}

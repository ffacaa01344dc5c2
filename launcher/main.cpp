// Program entry: hands control to the toolkit, which creates launcher_app and runs OnInit.
#include "launcher/launcher_app.h"

int main(int argc, char **argv)
{
    return wxEntry(argc, argv);
}

// The program takes no command line of its own; Qt's standard options still apply.
#include "app/qlxduoapp.h"

int main(int argc, char** argv) {
    CQlxduoApp app(argc, argv);
    return app.InitInstance();
}

#include "ui/app/AppShell.h"
#include "ui/app/Program.h"

#include <QApplication>

int main(int argc, char** argv) {
    const bool headless = mv::ui::PrepareHeadless();
    QApplication app(argc, argv);
    return mv::ui::RunScheduler(app, headless, mv::ui::HasDebugArgument(argc, argv));
}

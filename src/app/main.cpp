#include "Form1/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Form1::setUpApplication();

    // The main window lives until the program ends; closing it while the editor is
    // open leaves the program running until the editor is closed too.
    Form1 form;
    if (!form.Form1_Load())
        return 1;
    form.show();
    return QApplication::exec();
}

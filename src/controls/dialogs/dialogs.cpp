#include "controls/dialogs/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace dialogs {
namespace {

class QtProvider final : public Provider {
public:
    int msgBox(const QString &prompt, int code, const QString &title) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(title);
        box.setText(prompt);
        if (code & Information)
            box.setIcon(QMessageBox::Information);
        else if (code & Critical)
            box.setIcon(QMessageBox::Critical);
        if ((code & 7) == YesNo) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        const int answer = box.exec();
        if (answer == QMessageBox::Yes)
            return Yes;
        if (answer == QMessageBox::No)
            return No;
        return Ok;
    }

    QString inputBox(const QString &prompt, const QString &title) override
    {
        bool accepted = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), title, prompt,
                                                   QLineEdit::Normal, QString(), &accepted);
        return accepted ? text : QString();
    }
};

QtProvider qtProvider;
Provider *current = &qtProvider;

} // namespace

int msgBox(const QString &prompt, int code, const QString &title)
{
    return current->msgBox(prompt, code, title);
}

QString inputBox(const QString &prompt, const QString &title)
{
    return current->inputBox(prompt, title);
}

Provider *setProvider(Provider *provider)
{
    Provider *previous = current;
    current = provider ? provider : &qtProvider;
    return previous;
}

} // namespace dialogs

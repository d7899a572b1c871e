#include "controls/dialogs/dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace dialogs {
namespace {

class QtProvider final : public Provider {
public:
    int msgBox(const QString &prompt, int code, const QString &title) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(title);
        // Prompts carry names and paths, which may look like HTML ("<b>news", "a &lt; b");
        // they are shown as typed.
        box.setTextFormat(Qt::PlainText);
        box.setText(prompt);
        if (code & Information)
            box.setIcon(QMessageBox::Information);
        else if (code & Critical)
            box.setIcon(QMessageBox::Critical);
        else if (code & Question)
            box.setIcon(QMessageBox::Question);
        const bool second = code & DefaultButton2;
        switch (code & 7) {
        case YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
        case SaveDiscardCancel:
            box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
            box.setDefaultButton(second ? QMessageBox::Discard : QMessageBox::Save);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Yes;
        case QMessageBox::No:
            return No;
        case QMessageBox::Save:
            return Save;
        case QMessageBox::Discard:
            return Discard;
        case QMessageBox::Cancel:
            return Cancel;
        }
        return Ok;
    }

    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultText) override
    {
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(title);
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setLabelText(prompt);
        dialog.setTextValue(defaultText);
        // As typed, like the message box's prompt.
        for (QLabel *label : dialog.findChildren<QLabel *>())
            label->setTextFormat(Qt::PlainText);
        return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
    }
};

QtProvider qtProvider;
Provider *current = &qtProvider;

} // namespace

int msgBox(const QString &prompt, int code, const QString &title)
{
    return current->msgBox(prompt, code, title);
}

QString inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    return current->inputBox(prompt, title, defaultText);
}

Provider *setProvider(Provider *provider)
{
    Provider *previous = current;
    current = provider ? provider : &qtProvider;
    return previous;
}

} // namespace dialogs

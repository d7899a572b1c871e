#include "editprofile/editprofile.h"

#include "controls/dialogs/dialogs.h"
#include "controls/errorreport/errorreport.h"
#include "controls/richtext/richtextbox.h"
#include "controls/twips.h"
#include "Form1/pictures.h"
#include "rtf/rtfdefaults.h"
#include "store/store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

editprofile *editprofile::openOne()
{
    // The open editor is found among the program's windows rather than remembered.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        // A closed editor may linger until its deletion; only a shown one counts.
        if (auto *editor = qobject_cast<editprofile *>(window); editor && editor->isVisible())
            return editor;
    }
    return new editprofile();
}

editprofile::editprofile()
{
    setObjectName(QStringLiteral("editprofile"));
    // Unloading the window releases it; a later opening makes a fresh one.
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(designedCaption());
    setWindowIcon(pictures::programIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(rtf::entryFont());
    setFixedSize(tw(4815), tw(2385));

    RichTextBox1 = new RichTextBox(this);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    RichTextBox1->setGeometry(tw(120), tw(120), tw(4575), tw(1575));
    RichTextBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichTextBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichTextBox1->setAccessibleName(QStringLiteral("Entry's text"));
    RichTextBox1->setAccessibleDescription(
        QStringLiteral("The text of the entry named in the window's title"));

    Command1 = new QPushButton(QStringLiteral("Save"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(tw(2880), tw(1800), tw(1815), tw(495));
    Command1->setAutoDefault(true);
    Command1->setAccessibleName(Command1->text());
    Command1->setAccessibleDescription(
        QStringLiteral("Writes the text back to the entry's file and closes the editor"));

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(tw(960), tw(2880), tw(3375), tw(375));

    setTabOrder(RichTextBox1, Command1);
    RichTextBox1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &editprofile::Command1_Click);
    auto *save = new QShortcut(this);
    save->setKeys(QKeySequence::Save);
    connect(save, &QShortcut::activated, Command1, &QAbstractButton::click);
}

void editprofile::Command1_Click()
{
    // On failure the text stays in the window, so the user can mend the cause and save
    // again.
    if (saveText())
        close();
}

bool editprofile::saveText()
{
    const QString path = Label1->text();
    Status saved = store::saveEntry(path, *RichTextBox1);
    if (saved.conflict() != Status::Conflict::None) {
        if (dialogs::msgBox(store::conflictQuestion(QFileInfo(path).fileName(), saved,
                                                    QStringLiteral("you opened it")),
                            dialogs::YesNo | dialogs::Question | dialogs::DefaultButton2) !=
            dialogs::Yes)
            return false;
        saved = store::saveEntry(path, *RichTextBox1, RichTextBox::ReplaceAnyway);
    }
    if (!saved) {
        errorreport::show(saved);
        return false;
    }
    return true;
}

bool editprofile::mayLetTextGo(const QString &before)
{
    if (!RichTextBox1->document()->isModified())
        return true;
    switch (dialogs::msgBox(QStringLiteral("Save your changes to the entry \"%1\" before %2?")
                                .arg(QFileInfo(Label1->text()).fileName(), before),
                            dialogs::SaveDiscardCancel | dialogs::Question)) {
    case dialogs::Save:
        return saveText();
    case dialogs::Discard:
        return true;
    default:
        return false;
    }
}

void editprofile::closeEvent(QCloseEvent *event)
{
    if (mayLetTextGo(QStringLiteral("closing")))
        event->accept();
    else
        event->ignore();
}

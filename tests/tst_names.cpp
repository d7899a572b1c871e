#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "hardening.h"
#include "testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace hardening;
using testsupport::plainEntry;
using testsupport::Sandbox;
using testsupport::ScriptedDialogs;

namespace {

const QString kDecoy = QStringLiteral("zz decoy");

// Every path under the folder, relative to it, so that a stray file anywhere shows.
QStringList tree(const QString &folder)
{
    QStringList paths;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next().mid(folder.size());
    paths.sort();
    return paths;
}

// A name of exactly so many bytes on disk: the unit repeated, then padded.
QString repeated(const QString &unit, int bytes, QChar pad = QLatin1Char('n'))
{
    QString name;
    while (QFile::encodeName(name + unit).size() <= bytes)
        name += unit;
    while (QFile::encodeName(name).size() < bytes)
        name += pad;
    return name;
}

} // namespace

class TestNames : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void refusedNamesCreateNothing_data();
    void refusedNamesCreateNothing();
    void unusualNamesWorkEndToEnd_data();
    void unusualNamesWorkEndToEnd();
};

void TestNames::cleanup()
{
    closeEditors();
}

void TestNames::refusedNamesCreateNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("slash inside") << "news/today";
    QTest::newRow("slash at the end") << "news/";
    QTest::newRow("climbing out") << "../outside";
    QTest::newRow("climbing far out") << "../../../../../../../../tmp/outside";
    QTest::newRow("absolute") << "/tmp/outside";
    QTest::newRow("dot") << ".";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("hidden") << ".hidden";
    QTest::newRow("hidden climbing") << "./../outside";
    QTest::newRow("NUL") << QStringLiteral("before") + QChar(0) + QStringLiteral("after");
    QTest::newRow("256 bytes") << QString(256, QLatin1Char('x'));
    QTest::newRow("256 bytes of Cyrillic") << repeated(QStringLiteral("я"), 256);
    QTest::newRow("taken") << kDecoy;
}

void TestNames::refusedNamesCreateNothing()
{
    QFETCH(QString, name);
    Sandbox sandbox;
    sandbox.write(kDecoy, plainEntry("decoy"));
    ScriptedDialogs dialogs;
    const auto form = testsupport::openForm1();
    QVERIFY(form);
    const QStringList before = tree(sandbox.base());

    startAdd(*form, dialogs, name);
    QCOMPARE(dialogs.asked().size(), 2);
    const QString refusal = dialogs.asked()[1].prompt;
    QVERIFY2(refusal.contains(name.left(60)), qPrintable(refusal));
    QCOMPARE(dialogs.asked()[1].title, QStringLiteral("Sitebook"));
    QCOMPARE(tree(sandbox.base()), before);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/outside")));
    QVERIFY(!QFileInfo::exists(sandbox.base() + QStringLiteral("/outside")));
    QVERIFY(!form->Command4->isEnabled());
    QCOMPARE(sandbox.read(kDecoy), plainEntry("decoy"));
    QCOMPARE(addAndShow(*form, dialogs, sandbox, QStringLiteral("after"), QStringLiteral("usable")),
             QString());
}

void TestNames::unusualNamesWorkEndToEnd_data()
{
    QTest::addColumn<QString>("name");
    // What the user types into the search box to find it.
    QTest::addColumn<QString>("search");

    QTest::newRow("spaces at both ends") << "  spaced  "
                                         << "  spaced ";
    QTest::newRow("only spaces") << "   "
                                 << "   ";
    QTest::newRow("Cyrillic") << "Новости дня"
                              << "ости";
    QTest::newRow("emoji") << "sites 🌍🚀"
                           << "🌍";
    // A save writes a temporary file named after the entry plus seven bytes; the
    // longest names leave it no room, which these rows are here to catch.
    QTest::newRow("248 bytes") << repeated(QStringLiteral("n"), 248) << "nnnnnnnn";
    QTest::newRow("249 bytes") << repeated(QStringLiteral("n"), 249) << "nnnnnnnn";
    QTest::newRow("255 bytes") << repeated(QStringLiteral("n"), 255) << "nnnnnnnn";
    QTest::newRow("255 bytes of Cyrillic") << repeated(QStringLiteral("ж"), 255) << "жжжж";
    QTest::newRow("255 bytes of emoji") << repeated(QStringLiteral("🚀"), 255) << "🚀🚀";
    QTest::newRow("star") << "best*sites"
                          << "best*";
    QTest::newRow("question mark") << "why?"
                                   << "why?";
    QTest::newRow("brackets") << "[draft] notes"
                              << "[draft]";
    QTest::newRow("open bracket") << "a[b"
                                  << "[b";
    QTest::newRow("backslash") << "C:\\sites"
                               << ":\\s";
    QTest::newRow("quotes") << "say \"hi\" 'there'"
                            << "\"hi\"";
    QTest::newRow("leading dash") << "-rf"
                                  << "-rf";
    QTest::newRow("tilde") << "~home"
                           << "~h";
    QTest::newRow("percent and dollar") << "100% $HOME %1"
                                        << "% $";
    QTest::newRow("RTF-looking") << "{\\rtf1 \\par}"
                                 << "\\par";
    QTest::newRow("dot inside") << "example.org"
                                << ".org";
    QTest::newRow("trailing dot") << "end."
                                  << "end.";
}

void TestNames::unusualNamesWorkEndToEnd()
{
    QFETCH(QString, name);
    QFETCH(QString, search);
    Sandbox sandbox;
    sandbox.write(kDecoy, plainEntry("decoy"));
    ScriptedDialogs dialogs;
    const auto form = testsupport::openForm1();
    QVERIFY(form);

    // Add: the file has exactly the typed name, in the List folder and nowhere else.
    startAdd(*form, dialogs, name);
    QCOMPARE(dialogs.asked().size(), 2);
    QVERIFY2(dialogs.asked()[1].prompt ==
                 QLatin1String("Enter the site information below and press 'save'"),
             qPrintable(dialogs.asked()[1].prompt));
    typeAndSave(*form, QStringLiteral("https://example.org/"));
    QCOMPARE(dialogs.errors(), QStringList());
    QStringList both{name, kDecoy};
    both.sort();
    QCOMPARE(folderContents(sandbox.list()), both);
    QCOMPARE(folderContents(sandbox.base()), QStringList({QStringLiteral("List")}));
    QCOMPARE(sandbox.read(name), plainEntry("https://example.org/"));

    // Listed and counted.
    QVERIFY(testsupport::shownNames(*form->File1).contains(name));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 2"));

    // Found by part of its name; the decoy is not.
    typeSearch(*form, search);
    QCOMPARE(form->Text1->text(), search);
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({name}));
    QCOMPARE(form->l->text(), QStringLiteral(" Found: 1"));

    // Shown.
    QVERIFY(select(*form, name));
    QCOMPARE(form->Text2->toPlainText(), QStringLiteral("https://example.org/"));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 1"));

    // Edited.
    editprofile *editor = openEditor(*form);
    QVERIFY(editor);
    QCOMPARE(editor->windowTitle(), QStringLiteral("Edit URL Description - ") + name);
    QCOMPARE(editor->Label1->text(), sandbox.entry(name));
    editor->RichTextBox1->setFocus();
    QTest::keyClick(editor->RichTextBox1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor->RichTextBox1, QStringLiteral(" edited"));
    QTest::mouseClick(editor->Command1, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] { return shownEditor() == nullptr; }));
    QCOMPARE(sandbox.read(name), plainEntry("https://example.org/ edited"));

    // Deleted, after the question that names it.
    clearSearch(*form);
    QVERIFY(select(*form, name));
    dialogs.clear();
    deleteSelected(*form, dialogs, dialogs::Yes);
    QCOMPARE(dialogs.prompts(), QStringList({QStringLiteral("Do you really want to delete ") +
                                             name + QStringLiteral(" site?")}));
    QCOMPARE(folderContents(sandbox.list()), QStringList({kDecoy}));
    QCOMPARE(testsupport::shownNames(*form->File1), QStringList({kDecoy}));
    QCOMPARE(form->Label1->text(), QStringLiteral("URLs in list: 1"));
    QCOMPARE(sandbox.read(kDecoy), plainEntry("decoy"));
    QCOMPARE(dialogs.errors(), QStringList());
}

QTEST_MAIN(TestNames)
#include "tst_names.moc"

#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWindow>

#include <array>

using namespace testsupport;
using testsupport::plainEntry;

namespace {

const QString kDecoy = QStringLiteral("zz decoy");

// What is in the base folder and in the List folder: a stray file made by a name that
// climbs out, or a folder made by a slash, shows in one or the other.
QStringList everything(const Session &s)
{
    return folderContents(s.sandbox.base()) + folderContents(s.sandbox.list());
}

// A name of exactly so many bytes on disk: the unit repeated, then padded with "n".
QString repeated(const QString &unit, int bytes)
{
    QString name;
    while (QFile::encodeName(name + unit).size() <= bytes)
        name += unit;
    while (QFile::encodeName(name).size() < bytes)
        name += QLatin1Char('n');
    return name;
}

} // namespace

class TestNames : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeEditors(); }
    void refusedNamesCreateNothing_data();
    void refusedNamesCreateNothing();
    void unusualNamesWorkEndToEnd_data();
    void unusualNamesWorkEndToEnd();
};

// The plain refusals (slash, "..", absolute, ".", hidden, NUL, too long, taken) are
// driven through the window in tst_form1; these are the ones a check could get
// half right: a slash at the end, a climb hidden behind "./", a limit in bytes, a
// name taken in the other Unicode normal form.
void TestNames::refusedNamesCreateNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("decoy");
    QTest::newRow("slash at the end") << "news/" << kDecoy;
    QTest::newRow("climbing far out") << "../../../../../../../../tmp/outside" << kDecoy;
    QTest::newRow("hidden climbing") << "./../outside" << kDecoy;
    QTest::newRow("256 bytes") << QString(256, QLatin1Char('x')) << kDecoy;
    QTest::newRow("256 bytes of Cyrillic") << repeated(QStringLiteral("я"), 256) << kDecoy;
    QTest::newRow("taken decomposed") << "café paris"
                                      << "cafe\u0301 paris";
    QTest::newRow("taken composed") << "cafe\u0301 paris"
                                    << "café paris";
}

void TestNames::refusedNamesCreateNothing()
{
    QFETCH(QString, name);
    QFETCH(QString, decoy);
    Session s;
    s.sandbox.write(decoy, plainEntry("decoy"));
    QVERIFY(s.open());
    const QStringList before = everything(s);

    startAdd(*s.form, s.dialogs, name);
    QCOMPARE(s.dialogs.asked().size(), 2);
    QVERIFY2(s.dialogs.asked()[1].prompt.contains(name.left(60)),
             qPrintable(s.dialogs.asked()[1].prompt));
    QCOMPARE(everything(s), before);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/outside")));
    QVERIFY(!QFileInfo::exists(s.sandbox.base() + QStringLiteral("/outside")));
    QVERIFY(!s.form->Command4->isEnabled());
    QCOMPARE(s.sandbox.read(decoy), plainEntry("decoy"));
    QCOMPARE(s.stillUsable(), QString());
}

void TestNames::unusualNamesWorkEndToEnd_data()
{
    QTest::addColumn<QString>("name");
    // What the user types into the search box to find it.
    QTest::addColumn<QString>("search");
    const auto n = [](int bytes) { return repeated(QStringLiteral("n"), bytes); };
    // A save writes a temporary file named after the entry plus seven bytes; the
    // longest names leave it no room, which the 248- to 255-byte rows are here to catch.
    const QList<std::array<QString, 3>> rows = {
        {"spaces at both ends", "  spaced  ", "  spaced "},
        {"only spaces", "   ", "   "},
        {"Cyrillic", "Новости дня", "ости"},
        {"emoji", "sites 🌍🚀", "🌍"},
        {"248 bytes", n(248), "nnnnnnnn"},
        {"249 bytes", n(249), "nnnnnnnn"},
        {"255 bytes", n(255), "nnnnnnnn"},
        {"255 bytes of Cyrillic", repeated(QStringLiteral("ж"), 255), "жжжж"},
        {"255 bytes of emoji", repeated(QStringLiteral("🚀"), 255), "🚀🚀"},
        {"star", "best*sites", "best*"},
        {"question mark", "why?", "why?"},
        {"brackets", "[draft] notes", "[draft]"},
        {"open bracket", "a[b", "[b"},
        {"backslash", "C:\\sites", ":\\s"},
        {"quotes", "say \"hi\" 'there'", "\"hi\""},
        {"percent and dollar", "100% $HOME %1", "% $"},
        {"RTF-looking", "{\\rtf1 \\par}", "\\par"},
        {"dot inside", "example.org", ".org"},
        {"trailing dot", "end.", "end."},
        {"decomposed, found composed", "cafe\u0301 paris", "café"},
        {"modified mark", "news [*] draft", "[*]"},
    };
    for (const auto &[tag, name, search] : rows)
        QTest::newRow(qPrintable(tag)) << name << search;
}

void TestNames::unusualNamesWorkEndToEnd()
{
    QFETCH(QString, name);
    QFETCH(QString, search);
    Session s;
    s.sandbox.write(kDecoy, plainEntry("decoy"));
    QVERIFY(s.open());
    Form1 &form = *s.form;

    // Add: the file has exactly the typed name, in the List folder and nowhere else.
    startAdd(form, s.dialogs, name);
    QCOMPARE(s.dialogs.asked().size(), 2);
    QCOMPARE(s.dialogs.asked()[1].prompt,
             QStringLiteral("Enter the site information below and press 'save'"));
    typeAndSave(form, QStringLiteral("https://example.org/"));
    QCOMPARE(s.dialogs.errors(), QStringList());
    QStringList both{name, kDecoy};
    both.sort();
    QCOMPARE(folderContents(s.sandbox.list()), both);
    QCOMPARE(folderContents(s.sandbox.base()), QStringList({QStringLiteral("List")}));
    QCOMPARE(s.sandbox.read(name), plainEntry("https://example.org/"));
    QVERIFY(testsupport::shownNames(*form.File1).contains(name));
    QCOMPARE(form.Label1->text(), QStringLiteral("URLs in list: 2"));

    // Found by part of its name; the decoy is not. Then shown.
    typeSearch(form, search);
    QCOMPARE(form.Text1->text(), search);
    QCOMPARE(testsupport::shownNames(*form.File1), QStringList({name}));
    QCOMPARE(form.l->text(), QStringLiteral(" Found: 1"));
    QVERIFY(select(form, name));
    QCOMPARE(form.Text2->toPlainText(), QStringLiteral("https://example.org/"));

    // Edited.
    editprofile *editor = openEditor(form);
    QVERIFY(editor);
    // The title as the window system gets it, after Qt's own marks are worked out.
    QCOMPARE(editor->windowHandle()->title(), QStringLiteral("Edit URL Description - ") + name);
    QCOMPARE(editor->Label1->text(), s.sandbox.entry(name));
    typeAtEnd(*editor->RichTextBox1, QStringLiteral(" edited"));
    QVERIFY(saveAndClose(*editor));
    QCOMPARE(s.sandbox.read(name), plainEntry("https://example.org/ edited"));

    // Deleted, after the question that names it.
    clearSearch(form);
    QVERIFY(select(form, name));
    s.dialogs.clear();
    deleteSelected(form, s.dialogs, dialogs::Yes);
    QCOMPARE(s.dialogs.prompts(), QStringList({QStringLiteral("Do you really want to delete ") +
                                               name + QStringLiteral(" site?")}));
    QCOMPARE(folderContents(s.sandbox.list()), QStringList({kDecoy}));
    QCOMPARE(testsupport::shownNames(*form.File1), QStringList({kDecoy}));
    QCOMPARE(form.Label1->text(), QStringLiteral("URLs in list: 1"));
    QCOMPARE(s.sandbox.read(kDecoy), plainEntry("decoy"));
    QCOMPARE(s.dialogs.errors(), QStringList());
}

QTEST_MAIN(TestNames)
#include "tst_names.moc"

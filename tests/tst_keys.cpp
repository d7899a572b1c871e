#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <private/qguiapplication_p.h>
#include <QAccessible>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolTip>

using testsupport::plainEntry;
using testsupport::Session;

namespace {

// What a screen reader is told, as "control: text".
QStringList told;
void tell(QAccessibleEvent *event)
{
    const QString control = event->object()->objectName() + QStringLiteral(": ");
    if (event->type() == QAccessible::TextUpdated)
        told << control + static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
    else if (event->type() == QAccessible::NameChanged)
        told << control + event->accessibleInterface()->text(QAccessible::Name);
}

bool openOn(Session &s)
{
    s.sandbox.write("alpha", plainEntry("alpha notes https://alpha.example/a, www.b.example"));
    s.sandbox.write("beta", plainEntry("beta notes"));
    s.sandbox.write("news", plainEntry("news notes"));
    return s.open();
}

} // namespace

class TestKeys : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the browser.
    void open(const QUrl &url) { m_opened << url.toString(); }

private slots:
    void initTestCase() { QDesktopServices::setUrlHandler("https", this, "open"); }
    void cleanup()
    {
        m_opened.clear();
        testsupport::closeEditors();
    }
    void keys_data();
    void keys();
    void accessibleNames();
    void changesAreAnnounced();
    void cutNamesShowWholeAsTooltip();
    void addressesLookLikeLinksInThePaneOnly();

private:
    QStringList m_opened;
};

void TestKeys::keys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("key");
    // "what=value" pairs of the state after the key; what is not named is not looked at.
    QTest::addColumn<QString>("after");
    const auto row = [](const char *tag, const char *before, const char *key, const char *after) {
        QTest::newRow(tag) << before << key << after;
    };
    const char *editing = "editor=Edit URL Description - news";
    row("search: Down selects the first shown", "search:e", "Down",
        "focus=File1; selected=beta; pane=beta notes; shown=1");
    row("search: Escape clears it", "search:ne", "Esc", "rows=3; found=hidden");
    row("list: first Down selects the first row", "tab", "Down", "selected=alpha; shown=1");
    row("list: first Up selects the last row", "tab", "Up", "selected=news; shown=1");
    row("list: Return opens the first address", "select:alpha focus:File1", "Return",
        "opened=https://alpha.example/a; asked=");
    row("list: double-click does too", "select:alpha", "double-click",
        "opened=https://alpha.example/a");
    row("list: Delete asks, Yes deletes", "select:beta focus:File1", "Del",
        "asked=Do you really want to delete beta site?; rows=2");
    row("list: Delete, button disabled", "idle click:beta focus:File1", "Del", "asked=");
    row("Ctrl+N starts an add", "focus:File1", "Ctrl+N", "asked=Add URL description:");
    row("Ctrl+F moves to the search", "search:ne focus:File1", "Ctrl+F", "focus=Text1; marked=ne");
    row("Ctrl+F selects the search", "search:ne", "Ctrl+F", "marked=ne");
    row("Ctrl+E in the search box edits", "select:news focus:Text1", "Ctrl+E", editing);
    row("F2 edits", "select:news", "F2", editing);
    row("Ctrl+E, button disabled", "idle click:news", "Ctrl+E", "editor=; asked=");
    row("Ctrl+S saves the new entry", "adding", "Ctrl+S", "rows=4; asked=");
    row("Ctrl+S saves in the editor", "select:news editor", "Ctrl+S", "editor=; asked=");
    row("Return presses the focused button", "focus:Command3", "Return",
        "asked=Add URL description:");
}

void TestKeys::keys()
{
    QFETCH(QString, before);
    QFETCH(QString, key);
    QFETCH(QString, after);
    Session s;
    QVERIFY(openOn(s));
    Form1 &form = *s.form;
    s.dialogs.answerMessages({dialogs::Yes});
    for (const QString &step : before.split(u' ')) {
        const QString arg = step.section(u':', 1);
        if (step.startsWith(u"search:"))
            testsupport::typeSearch(form, arg);
        else if (step.startsWith(u"select:"))
            QVERIFY(testsupport::select(form, arg));
        else if (step.startsWith(u"click:"))
            QVERIFY(testsupport::clickEntry(*form.File1, arg));
        else if (step.startsWith(u"focus:"))
            form.findChild<QWidget *>(arg)->setFocus();
        else if (step == u"idle") // the buttons disabled, and kept so
            QTRY_VERIFY(!form.Command7->isEnabled() && (form.Timer1->stop(), true));
        else if (step == u"tab")
            QTest::keyClick(form.Text1, Qt::Key_Tab);
        else if (step == u"adding")
            testsupport::startAdd(form, s.dialogs, QStringLiteral("fresh"));
        else if (step == u"editor")
            QVERIFY(QTest::qWaitForWindowActive(testsupport::openEditor(form)));
    }
    s.dialogs.clear();
    QSignalSpy shown(form.File1, &FileListBox::fileClicked);
    if (key == u"double-click")
        QTest::mouseDClick(form.File1->viewport(), Qt::LeftButton, {},
                           form.File1->visualRect(form.File1->currentIndex()).center());
    else
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));

    const editprofile *editor = testsupport::shownEditor();
    const QMap<QString, QString> state = {
        {"focus", QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : ""},
        {"selected", form.File1->fileName()},
        {"pane", form.Text2->toPlainText()},
        {"shown", QString::number(shown.count())},
        {"marked", form.Text1->selectedText()},
        {"rows", QString::number(form.File1->listCount())},
        {"found", form.l->isVisible() ? form.l->text() : "hidden"},
        {"opened", m_opened.join(u' ')},
        {"asked", s.dialogs.prompts().join(u'|')},
        {"editor", editor ? editor->windowTitle() : ""},
    };
    for (const QString &pair : after.split(QStringLiteral("; ")))
        QCOMPARE(pair.section(u'=', 0, 0) + u'=' + state.value(pair.section(u'=', 0, 0)), pair);
}

void TestKeys::accessibleNames()
{
    Session s;
    QVERIFY(openOn(s));
    testsupport::typeSearch(*s.form, QStringLiteral("e"));
    QVERIFY(testsupport::select(*s.form, QStringLiteral("news")));
    const editprofile *editor = testsupport::openEditor(*s.form);
    // Buttons are named by their captions; the two counts are named by what they show.
    for (const char *row : {"Text1=Search", "File1=Entries", "l= Found: 2", "Text2=Information",
                            "Label1=URLs in list: 2", "Command3=Add new URL to list",
                            "Command5=Edit ULR's information", "Command6=About \"Sitebook\" soft",
                            "Command7=Delete selected URL", "g=New entry's text", "Command4=Save",
                            "editor.RichTextBox1=Entry's text", "editor.Command1=Save"}) {
        const QString control = QString::fromUtf8(row).section(u'=', 0, 0);
        const QObject *window =
            control.startsWith(u"editor.") ? static_cast<const QObject *>(editor) : s.form.get();
        QWidget *widget = window->findChild<QWidget *>(control.section(u'.', -1));
        QVERIFY2(widget, row);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        QCOMPARE(control + u'=' + iface->text(QAccessible::Name), QString::fromUtf8(row));
        const QString description = iface->text(QAccessible::Description);
        QVERIFY2(description.size() > 10 && !QString::fromUtf8(row).endsWith(description), row);
    }
}

void TestKeys::changesAreAnnounced()
{
    Session s;
    QVERIFY(openOn(s));
    // Offscreen, no screen reader listens; this stands in for one.
    QAccessible::installUpdateHandler(tell);
    QPlatformAccessibility *bridge = QGuiApplicationPrivate::platformIntegration()->accessibility();
    bridge->setActive(true);
    const auto stop = qScopeGuard([&] {
        bridge->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
    });
    testsupport::typeSearch(*s.form, QStringLiteral("e"));
    QVERIFY2(told.contains(QStringLiteral("l:  Found: 2")), qPrintable(told.join(u'|')));
    told.clear();
    QVERIFY(testsupport::clickEntry(*s.form->File1, QStringLiteral("news")));
    QVERIFY2(told.contains(QStringLiteral("Text2: news notes")), qPrintable(told.join(u'|')));
}

void TestKeys::cutNamesShowWholeAsTooltip()
{
    Session s;
    // Last in the list, the long name is the row whose size the list gives every row.
    const QString longName = "The name far too long for the list to show whole, example.org";
    for (const QString &name : {longName, QStringLiteral("news")})
        s.sandbox.write(name, plainEntry("x"));
    QVERIFY(s.open());
    // Asked for the tooltip of the short row, then of the long one.
    for (const int row : {0, 1}) {
        const QPoint at = s.form->File1->visualRect(s.form->File1->model()->index(row, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, s.form->File1->viewport()->mapToGlobal(at));
        QApplication::sendEvent(s.form->File1->viewport(), &help);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), row ? longName : "");
    }
}

void TestKeys::addressesLookLikeLinksInThePaneOnly()
{
    Session s;
    const QByteArray bytes = plainEntry("see www.example.org/a, then words");
    s.sandbox.write("links", bytes);
    QVERIFY(s.open());
    QVERIFY(testsupport::clickEntry(*s.form->File1, QStringLiteral("links")));
    // The look of the letter at this position: underlined or not, and its colour.
    const auto lookAt = [&](int position) {
        QTextCursor at(s.form->Text2->document());
        at.setPosition(position + 1);
        return QString::number(at.charFormat().fontUnderline()) +
               at.charFormat().foreground().color().name();
    };
    const QString link = s.form->Text2->palette().color(QPalette::Link).name();
    QCOMPARE(lookAt(4) + lookAt(20), "1" + link + "1" + link);             // "www.example.org/a"
    QCOMPARE(lookAt(21) + lookAt(23), QStringLiteral("0#0000000#000000")); // ", then"
    // Only what is shown: the file and the buffer it was read into stay as they were.
    QCOMPARE(s.sandbox.read("links"), bytes);
    RichTextBox fresh;
    QVERIFY(fresh.loadFile(s.sandbox.entry("links")));
    QCOMPARE(s.form->R->textRTF(), fresh.textRTF());
}

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"

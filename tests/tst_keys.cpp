#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "editprofile/editprofile.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "testsupport.h"

#include <private/qguiapplication_p.h>
#include <QAccessible>
#include <QDesktopServices>
#include <QDir>
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

struct Announcement {
    QAccessible::Event type;
    QObject *object;
    QString text;
};
QList<Announcement> announcements;

void record(QAccessibleEvent *event)
{
    QString text;
    if (event->type() == QAccessible::TextUpdated)
        text = static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
    else if (QAccessibleInterface *iface = event->accessibleInterface())
        text = iface->text(QAccessible::Name);
    announcements.append({event->type(), event->object(), text});
}

} // namespace

class TestKeys : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the browser.
    void open(const QUrl &url) { m_opened << url.toString(); }

private slots:
    void init();
    void cleanup();
    void keys_data();
    void keys();
    void accessibleNames_data();
    void accessibleNames();
    void changesAreAnnounced();
    void cutNamesShowWholeAsTooltip_data();
    void cutNamesShowWholeAsTooltip();
    void addressesLookLikeLinksInThePaneOnly();

private:
    bool openOn(Session &s);
    QStringList m_opened;
};

void TestKeys::init()
{
    m_opened.clear();
    for (const char *scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
}

void TestKeys::cleanup()
{
    testsupport::closeEditors();
    for (const char *scheme : {"http", "https"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

bool TestKeys::openOn(Session &s)
{
    s.sandbox.write(QStringLiteral("alpha"),
                    plainEntry("alpha notes https://alpha.example/a, then www.second.example"));
    s.sandbox.write(QStringLiteral("beta"), plainEntry("beta notes"));
    s.sandbox.write(QStringLiteral("news"), plainEntry("news notes"));
    return s.open();
}

void TestKeys::keys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("key");
    // "what=value" pairs of the state after the key; what is not named is not looked at.
    QTest::addColumn<QString>("after");
    const auto row = [](const char *tag, const char *before, const char *key, const char *after) {
        QTest::newRow(tag) << before << key << after;
    };
    row("search: Down selects the first shown", "search:e", "Down",
        "focus=File1; selected=beta; pane=beta notes; shown=1");
    row("search: Escape clears it", "search:ne", "Esc", "search=; rows=3; found=hidden");
    row("list: first Down selects the first row", "tab", "Down", "selected=alpha; shown=1");
    row("list: first Up selects the last row", "tab", "Up", "selected=news; shown=1");
    row("list: Return opens the first address", "select:alpha focus:File1", "Return",
        "opened=https://alpha.example/a; asked=");
    row("list: double-click opens the first address", "select:alpha", "double-click",
        "opened=https://alpha.example/a");
    row("list: Delete asks, Yes deletes", "select:beta focus:File1", "Del",
        "asked=Do you really want to delete beta site?; rows=2");
    row("list: Delete while the button is disabled", "tick hold click:beta focus:File1", "Del",
        "asked=; rows=3");
    row("Ctrl+N starts an add", "focus:File1", "Ctrl+N", "asked=Add URL description:");
    row("Ctrl+F moves to the search text", "search:ne focus:File1", "Ctrl+F",
        "focus=Text1; search=ne; marked=ne");
    row("Ctrl+F selects the search text", "search:ne", "Ctrl+F", "focus=Text1; marked=ne");
    row("Ctrl+E opens the editor", "select:news focus:File1", "Ctrl+E",
        "editor=Edit URL Description - news");
    row("F2 opens the editor", "select:news", "F2", "editor=Edit URL Description - news");
    row("Ctrl+E from the search box", "select:news focus:Text1", "Ctrl+E",
        "editor=Edit URL Description - news");
    row("Ctrl+E while the button is disabled", "tick hold click:news", "Ctrl+E", "editor=; asked=");
    row("Ctrl+S saves the new entry", "adding", "Ctrl+S", "rows=4; adding=no; asked=");
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
    for (const QString &step : before.split(QLatin1Char(' '))) {
        const QString arg = step.section(QLatin1Char(':'), 1);
        if (step.startsWith(QLatin1String("search:")))
            testsupport::typeSearch(form, arg);
        else if (step.startsWith(QLatin1String("select:")))
            QVERIFY(testsupport::select(form, arg));
        else if (step.startsWith(QLatin1String("click:")))
            QVERIFY(testsupport::clickEntry(*form.File1, arg));
        else if (step == QLatin1String("tick"))
            QTRY_VERIFY(!form.Command7->isEnabled());
        else if (step == QLatin1String("hold")) // the buttons keep their state
            form.Timer1->stop();
        else if (step == QLatin1String("tab"))
            QTest::keyClick(form.Text1, Qt::Key_Tab);
        else if (step.startsWith(QLatin1String("focus:")))
            form.findChild<QWidget *>(arg)->setFocus();
        else if (step == QLatin1String("adding"))
            testsupport::startAdd(form, s.dialogs, QStringLiteral("fresh"));
        else if (step == QLatin1String("editor"))
            QVERIFY(QTest::qWaitForWindowActive(testsupport::openEditor(form)));
    }
    s.dialogs.clear();
    QSignalSpy shown(form.File1, &FileListBox::fileClicked);
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    if (key == QLatin1String("double-click"))
        QTest::mouseDClick(form.File1->viewport(), Qt::LeftButton, {},
                           form.File1->visualRect(form.File1->currentIndex()).center());
    else
        QTest::keySequence(focus, QKeySequence(key));

    const editprofile *editor = testsupport::shownEditor();
    const QMap<QString, QString> state = {
        {"focus", QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : ""},
        {"selected", form.File1->fileName()},
        {"pane", form.Text2->toPlainText()},
        {"shown", QString::number(shown.count())},
        {"search", form.Text1->text()},
        {"marked", form.Text1->selectedText()},
        {"rows", QString::number(form.File1->listCount())},
        {"found", form.l->isVisible() ? form.l->text() : "hidden"},
        {"opened", m_opened.join(u' ')},
        {"asked", s.dialogs.prompts().join(u'|')},
        {"editor", editor ? editor->windowTitle() : ""},
        {"adding", form.Command4->isEnabled() ? "yes" : "no"},
    };
    for (const QString &pair : after.split(QStringLiteral("; "))) {
        const QString what = pair.section(QLatin1Char('='), 0, 0);
        QVERIFY2(state.contains(what), qPrintable(what));
        QCOMPARE(what + QLatin1Char('=') + state[what], pair);
    }
}

void TestKeys::accessibleNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    const auto row = [](const char *control, const QString &name) {
        QTest::newRow(control) << control << name;
    };
    row("Text1", "Search");
    row("File1", "Entries");
    row("l", " Found: 2");
    row("Text2", "Information");
    row("Label1", "URLs in list: 2");
    for (const char *button : {"Command3", "Command5", "Command6", "Command7"})
        row(button, QString());
    row("g", "New entry's text");
    row("Command4", "Save");
    row("editor/RichTextBox1", "Entry's text");
    row("editor/Command1", "Save");
}

void TestKeys::accessibleNames()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    Session s;
    QVERIFY(openOn(s));
    testsupport::typeSearch(*s.form, QStringLiteral("e"));
    QVERIFY(testsupport::select(*s.form, QStringLiteral("news")));
    const editprofile *editor = testsupport::openEditor(*s.form);
    QVERIFY(editor);
    const bool inEditor = control.startsWith(QLatin1String("editor/"));
    QWidget *widget = inEditor ? editor->findChild<QWidget *>(control.mid(7))
                               : s.form->findChild<QWidget *>(control);
    QVERIFY(widget);
    // A picture button is named by its caption.
    if (auto *button = qobject_cast<PictureButton *>(widget))
        name = button->text();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    QCOMPARE(iface->text(QAccessible::Name), name);
    const QString description = iface->text(QAccessible::Description);
    QVERIFY2(description.size() > 10 && description != name, qPrintable(description));
}

void TestKeys::changesAreAnnounced()
{
    Session s;
    QVERIFY(openOn(s));
    // Offscreen, no screen reader listens; this stands in for one.
    QAccessible::installUpdateHandler(record);
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    const auto stop = qScopeGuard([] {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
        announcements.clear();
    });
    const auto told = [&](QObject *object, QAccessible::Event type) {
        QStringList texts;
        for (const Announcement &a : std::as_const(announcements))
            if (a.object == object && a.type == type)
                texts << a.text;
        announcements.clear();
        return texts;
    };
    testsupport::typeSearch(*s.form, QStringLiteral("e"));
    QCOMPARE(told(s.form->l, QAccessible::NameChanged).value(0), QStringLiteral(" Found: 2"));
    QVERIFY(testsupport::clickEntry(*s.form->File1, QStringLiteral("news")));
    QCOMPARE(told(s.form->Text2, QAccessible::TextUpdated), QStringList({"news notes"}));
}

void TestKeys::cutNamesShowWholeAsTooltip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("tip");
    QTest::newRow("name shown whole") << "news" << false;
    QTest::newRow("name cut short")
        << "A name far too long for the list to show whole at its width, example.org" << true;
}

void TestKeys::cutNamesShowWholeAsTooltip()
{
    QFETCH(QString, name);
    QFETCH(bool, tip);
    Session s;
    s.sandbox.write(name, plainEntry("x"));
    QVERIFY(s.open());
    QWidget *viewport = s.form->File1->viewport();
    const QPoint at = s.form->File1->visualRect(s.form->File1->model()->index(0, 0)).center();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    QCOMPARE(QToolTip::isVisible() && QToolTip::text() == name, tip);
}

void TestKeys::addressesLookLikeLinksInThePaneOnly()
{
    Session s;
    const QByteArray bytes = plainEntry("see www.example.org/a, then plain words");
    s.sandbox.write(QStringLiteral("links"), bytes);
    QVERIFY(s.open());
    QVERIFY(testsupport::clickEntry(*s.form->File1, QStringLiteral("links")));
    const QTextBlock shown = s.form->Text2->document()->firstBlock();
    const auto formatAt = [&](const char *text) {
        QTextCursor at(shown);
        at.setPosition(shown.position() + shown.text().indexOf(QLatin1String(text)) + 1);
        return at.charFormat();
    };
    const QColor link = s.form->Text2->palette().color(QPalette::Link);
    QVERIFY(formatAt("example").fontUnderline());
    QCOMPARE(formatAt("example").foreground().color(), link);
    QVERIFY(!formatAt(", then").fontUnderline());
    QVERIFY(!formatAt("plain").fontUnderline());
    QVERIFY(formatAt("plain").foreground().color() != link);
    // Only what is shown: the file and the buffer it was read into stay as they were.
    QCOMPARE(s.sandbox.read(QStringLiteral("links")), bytes);
    RichTextBox fresh;
    QVERIFY(fresh.loadFile(s.sandbox.entry(QStringLiteral("links"))));
    QCOMPARE(s.form->R->textRTF(), fresh.textRTF());
}

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"

#include "Form1/form1.h"

#include "controls/dialogs/dialogs.h"
#include "controls/errorreport/errorreport.h"
#include "controls/filelist/dirlistbox.h"
#include "controls/filelist/filelistbox.h"
#include "controls/richtext/richtextbox.h"
#include "controls/twips.h"
#include "editprofile/editprofile.h"
#include "entryfile/siteaddress.h"
#include "Form1/autosizelabel.h"
#include "Form1/linkopener.h"
#include "Form1/picturebutton.h"
#include "Form1/pictures.h"
#include "rtf/rtfdefaults.h"
#include "store/store.h"
#include "version.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

namespace {

// Opens the editor on the selected entry, as F2 does.
const QKeySequence editKey(Qt::CTRL | Qt::Key_E);

template <typename Control>
Control *place(Control *control, const char *name, int left, int top, int width, int height)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(tw(left), tw(top), tw(width), tw(height));
    return control;
}

// Said by every start-up message about the List folder.
const QString whereTheListIs = QStringLiteral(
    "Sitebook keeps its list in a folder named List in the folder it is started from");

// Eight lines, each ended by CR LF, the last included.
const QString aboutText = QStringLiteral("Sitebook\r\n"
                                         "\r\n"
                                         "https://sitebook.example.org/\r\n"
                                         "https://www.example.org/sitebook/\r\n"
                                         "\r\n"
                                         "support@sitebook.example.org\r\n"
                                         "author@sitebook.example.org\r\n"
                                         "feedback@sitebook.example.org\r\n");

struct DroppedLink {
    QUrl url; // invalid when what was dropped is no site address
    QString title;
};

// A link as browsers drag one: "address\ntitle" as text/x-moz-url (UTF-16), the first
// site address of a text/uri-list, or plain text that is one address and nothing else.
DroppedLink droppedLink(const QMimeData &mime)
{
    if (const QByteArray mozUrl = mime.data(QStringLiteral("text/x-moz-url")); !mozUrl.isEmpty()) {
        QString text =
            mozUrl.contains('\0')
                ? QString::fromUtf16(reinterpret_cast<const char16_t *>(mozUrl.constData()),
                                     mozUrl.size() / 2)
                : QString::fromUtf8(mozUrl);
        const QStringList lines = text.remove(QChar(0)).split(QLatin1Char('\n'));
        const QUrl url(lines.first().trimmed());
        if (entryfile::isSiteAddress(url))
            return {url, lines.value(1).simplified()};
    }
    // Qt reads a uri-list's "#" comment lines as addresses too.
    for (const QUrl &url : mime.urls()) {
        if (entryfile::isSiteAddress(url))
            return {url, QString()};
    }
    const QUrl url(mime.text().trimmed(), QUrl::StrictMode);
    return {entryfile::isSiteAddress(url) ? url : QUrl(), QString()};
}

// A multi-line text box gives its text back with CR LF line ends, as it was stored.
QString textBoxText(const QPlainTextEdit &box)
{
    return box.toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace

void Form1::setUpApplication()
{
    // No display name is set: Qt would append it to every window title that does not end
    // in it (" — Sitebook" on X11), the editor's included. The application name stands in
    // wherever the desktop asks for one.
    QApplication::setApplicationName(QStringLiteral(SITEBOOK_PRODUCT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(SITEBOOK_VERSION));
    QApplication::setWindowIcon(pictures::programIcon());
}

Form1::Form1(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Sitebook"));
    setWindowIcon(pictures::programIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(rtf::entryFont());
    setFixedSize(tw(9000), normalHeight);

    createControls();
    // Frames drawn the classic way: the caption sits on the top border line, so the
    // controls placed just under it are not cut by the line.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 7px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 6px; top: 0px; padding: 0 2px; }"));
    setTabOrders();
    describeControls();
    connectHandlers();
    setAcceptDrops(true);
}

void Form1::createControls()
{
    Frame1 = place(new QGroupBox(QStringLiteral("URL list"), this), "Frame1", 120, 0, 5175, 3855);
    Label2 = place(new QLabel(QStringLiteral("Search:"), Frame1), "Label2", 120, 360, 1335, 375);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Text1 = place(new QLineEdit(Frame1), "Text1", 840, 360, 4215, 375);
    l = place(new QLabel(Frame1), "l", 3840, 120, 1215, 255);
    l->setAutoFillBackground(true);
    QPalette found = l->palette();
    found.setColor(QPalette::Window, QColor(255, 255, 192));
    found.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
    l->setPalette(found);
    l->setFrameShape(QFrame::Box);
    l->setFrameShadow(QFrame::Plain);
    l->setVisible(false);
    l->raise(); // its bottom edge touches the search box and must not be hidden by it

    File1 = place(new FileListBox(this), "File1", 240, 720, 4935, 2910);

    Frame2 =
        place(new QGroupBox(QStringLiteral("Information"), this), "Frame2", 5400, 0, 3495, 3855);
    Text2 = place(new RichTextBox(Frame2), "Text2", 120, 240, 3255, 3495);
    Text2->setReadOnly(true);
    Text2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                   Qt::LinksAccessibleByMouse);
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    new LinkOpener(Text2);

    Frame3 =
        place(new QGroupBox(QStringLiteral("Statistics:"), this), "Frame3", 120, 3960, 2175, 735);
    Label1 =
        place(new AutoSizeLabel(store::statisticsCaption, Frame3), "Label1", 120, 360, 1125, 240);

    Image2 = place(new QLabel(this), "Image2", 3960, 8040, 1440, 165);
    Image2->setPixmap(
        pictures::picture(QStringLiteral(":/button-highlighted.png"), devicePixelRatioF()));
    Image3 = place(new QLabel(this), "Image3", 3960, 8400, 1440, 165);
    Image3->setPixmap(
        pictures::picture(QStringLiteral(":/button-normal.png"), devicePixelRatioF()));

    Command3 = place(new PictureButton(QStringLiteral("Add new URL to list"), this), "Command3",
                     2400, 3960, 1575, 735);
    Command5 = place(new PictureButton(QStringLiteral("Edit ULR's information"), this), "Command5",
                     3960, 3960, 1575, 735);
    Command6 = place(new PictureButton(QStringLiteral("About \"Sitebook\" soft"), this), "Command6",
                     5520, 3960, 1575, 735);
    Command7 = place(new PictureButton(QStringLiteral("Delete selected URL"), this), "Command7",
                     7080, 3960, 1575, 735);
    for (PictureButton *button : {Command3, Command5, Command6})
        button->setPicture(Image3->pixmap());
    // Return presses the button that has the focus, as Space does.
    for (PictureButton *button : {Command3, Command5, Command6, Command7})
        button->setAutoDefault(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);

    g = place(new RichTextBox(this), "g", 120, 4800, 7215, 735);
    g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Command4 =
        place(new QPushButton(QStringLiteral("Save"), this), "Command4", 7440, 4920, 1455, 615);
    Command4->setAutoDefault(true);
    about = place(new QPlainTextEdit(this), "about", 3720, 6360, 3375, 1455);
    about->setPlainText(aboutText);
    about->setReadOnly(true);
    about->setFocusPolicy(Qt::NoFocus);
    Group = place(new QLabel(QStringLiteral("Label4"), this), "Group", 360, 7320, 2175, 495);
    Group->setVisible(false);
    R = place(new RichTextBox(this), "R", 240, 8280, 615, 375);
    R->setVisible(false);
    Dir1 = place(new DirListBox(this), "Dir1", 960, 8280, 615, 360);
    Dir1->setVisible(false);

    // Out of sight, the new-entry band takes no part until an add is under way.
    setAddingState(false);
}

void Form1::setTabOrders()
{
    QWidget *order[] = {Text1, File1, Command3, g, Command4, Command5, Command6, Command7, Text2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

// What a screen reader says of each control. The two labels keep their captions as
// their names, so that the counts they show are read, and each change is announced.
void Form1::describeControls()
{
    const auto describe = [](QWidget *control, const QString &name, const QString &description) {
        if (!name.isEmpty())
            control->setAccessibleName(name);
        control->setAccessibleDescription(description);
    };
    describe(Text1, QStringLiteral("Search"),
             QStringLiteral("Shows only the entries whose names contain the typed text. "
                            "Down moves to the first entry found, Escape clears the search."));
    describe(File1, QStringLiteral("Entries"),
             QStringLiteral("The entries of the list. The selected entry's text is shown in the "
                            "information pane; Return opens its first web address, Delete "
                            "deletes it."));
    describe(l, QString(), QStringLiteral("How many entries match the search"));
    describe(Text2, QStringLiteral("Information"),
             QStringLiteral("The text of the selected entry"));
    describe(Label1, QString(), QStringLiteral("How many entries the list shows"));
    describe(Command3, Command3->text(), QStringLiteral("Asks for a name and adds a new entry"));
    describe(Command5, Command5->text(),
             QStringLiteral("Opens the selected entry's text in the editor"));
    describe(Command6, Command6->text(), QStringLiteral("Shows the About message"));
    describe(Command7, Command7->text(), QStringLiteral("Deletes the selected entry after asking"));
    describe(g, QStringLiteral("New entry's text"),
             QStringLiteral("The text of the entry being added"));
    describe(Command4, Command4->text(), QStringLiteral("Saves the text of the entry being added"));
}

void Form1::addShortcut(const QList<QKeySequence> &keys, QAbstractButton *button)
{
    auto *shortcut = new QShortcut(this);
    shortcut->setKeys(keys);
    // A click on the button itself, so that a disabled button ignores its key too.
    connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
}

void Form1::connectHandlers()
{
    connect(File1, &FileListBox::fileClicked, this, [this] { File1_Click(); });
    connect(File1, &FileListBox::folderChanged, this, &Form1::File1_FolderChange);
    connect(File1, &FileListBox::doubleClicked, this, &Form1::File1_DblClick);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);

    for (QWidget *control :
         std::initializer_list<QWidget *>{this, Frame1, Frame2, Frame3, File1, Text1, Text2,
                                          Command3, Command5, Command6, Command7})
        watchPointer(control);

    addShortcut(QKeySequence::keyBindings(QKeySequence::New), Command3);
    addShortcut({editKey, QKeySequence(Qt::Key_F2)}, Command5);
    // Text boxes may claim Ctrl+E for the end of the line (X11 desktops do): in this
    // window it edits the entry wherever the focus is.
    g->installEventFilter(this);
    addShortcut(QKeySequence::keyBindings(QKeySequence::Save), Command4);
    auto *find = new QShortcut(this);
    find->setKeys(QKeySequence::Find);
    connect(find, &QShortcut::activated, this, [this] {
        Text1->setFocus(Qt::ShortcutFocusReason);
        Text1->selectAll();
    });
}

bool Form1::Form1_Load()
{
    if (const Status base = Dir1->status(); !base) {
        errorreport::show(Status::failure(
            QStringLiteral("%1.\n\n%2. Start Sitebook again from the folder that holds your List.")
                .arg(base.message(), whereTheListIs)));
        return false;
    }
    Status pointed = store::pointListAtFolder(*File1, *Dir1);
    // Started for the first time, from a desktop menu that starts programs in the home
    // folder, there is no list yet: offer to make the folder rather than only end.
    if (!pointed && store::entryFolderMissing(*Dir1)) {
        const QString folder = store::entryFolder(*Dir1);
        if (dialogs::msgBox(QStringLiteral("%1, and there is none in \"%2\".\n\nCreate the folder "
                                           "\"%3\" now?")
                                .arg(whereTheListIs, Dir1->path(), folder),
                            dialogs::YesNo | dialogs::Question) != dialogs::Yes)
            return false;
        if (const Status created = store::createEntryFolder(*Dir1); !created) {
            errorreport::show(created);
            return false;
        }
        pointed = store::pointListAtFolder(*File1, *Dir1);
    }
    if (!pointed) {
        errorreport::show(Status::failure(
            QStringLiteral("%1\n\n%2. Create a folder named List in \"%3\" and start Sitebook "
                           "again.")
                .arg(pointed.message(), whereTheListIs, Dir1->path())));
        return false;
    }
    Label1->setText(Label1->text() + QString::number(store::countEntries(*File1)));
    Command7->setPicture(Image3->pixmap());
    Timer1->start();
    Text1->setFocus();
    return true;
}

void Form1::File1_Click(bool byUser)
{
    const QString path = store::entryPath(*Dir1, store::selectedEntry(*File1));
    const Status loaded = store::loadEntry(path, *R);
    if (!loaded) {
        // Nobody clicked when a changed file is shown again, so a failure is not reported
        // then: an entry removed meanwhile leaves the list at its next read and the pane
        // at the tick after; any other failure a click on the entry reports.
        if (byUser)
            errorreport::show(loaded);
        return;
    }
    // Told to a screen reader as the change of the pane's text; worked out only while
    // one listens, for an entry may be large.
    const bool announce = QAccessible::isActive();
    const QString before = announce ? Text2->toPlainText() : QString();
    // The pane takes a copy of the buffer's document, its addresses shown as links before
    // it is laid out.
    Text2->setTextFrom(*R, [this](QTextDocument &shown) {
        LinkOpener::showAddressesAsLinks(shown, Text2->palette());
    });
    if (announce) {
        QAccessibleTextUpdateEvent shown(Text2, 0, before, Text2->toPlainText());
        QAccessible::updateAccessibility(&shown);
    }
    Label1->setText(store::statisticsLine(store::countEntries(*File1)));
}

// The list took in what other programs (or the editor) changed in the folder. The
// counts follow as after an add or a delete, and the pane follows the selected entry's
// file when that is no longer what was shown.
void Form1::File1_FolderChange()
{
    Label1->setText(store::statisticsLine(store::countEntries(*File1)));
    showFoundCount();
    const QString name = store::selectedEntry(*File1);
    if (!name.isEmpty() && !R->holdsCurrent(store::entryPath(*Dir1, name)))
        File1_Click(false);
}

// A double click on an entry, or Return in the list, opens the entry's first web
// address, as a click on that address in the information pane does.
void Form1::File1_DblClick()
{
    if (store::selectedEntry(*File1).isEmpty())
        return;
    if (const QUrl address = LinkOpener::firstAddress(*Text2->document()); !address.isEmpty())
        LinkOpener::open(address);
}

bool Form1::File1_KeyDown(const QKeyEvent &key)
{
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        File1_DblClick();
        return true;
    }
    if (key.matches(QKeySequence::Delete)) {
        Command7->click();
        return true;
    }
    return false;
}

void Form1::Text1_Change()
{
    // A search never reports: the next keystroke simply tries again.
    if (!File1->setPattern(QLatin1Char('*') + Text1->text() + QLatin1Char('*')))
        return;
    showFoundCount();
}

// The found count shows while a search is typed, and only then.
void Form1::showFoundCount()
{
    const bool searching = !Text1->text().isEmpty();
    if (searching)
        l->setText(store::foundLine(store::countEntries(*File1)));
    l->setVisible(searching);
}

bool Form1::Text1_KeyDown(const QKeyEvent &key)
{
    if (key.key() == Qt::Key_Down && (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        File1->setFocus(Qt::OtherFocusReason);
        File1->chooseRow(0);
        return true;
    }
    if (key.key() == Qt::Key_Escape && !Text1->text().isEmpty()) {
        Text1->setText(QString());
        return true;
    }
    return false;
}

void Form1::Timer1_Timer()
{
    if (store::selectedEntry(*File1).isEmpty()) {
        Command5->setEnabled(false);
        Command7->setEnabled(false);
        Text2->setText(QString());
    } else {
        Command5->setEnabled(true);
        Command7->setEnabled(true);
    }
}

void Form1::Command3_Click()
{
    beginAdd(QString());
}

bool Form1::beginAdd(const QString &proposedName)
{
    Text1->setText(QString());
    R->setText(QString());
    const QString name = dialogs::inputBox(QStringLiteral("Add URL description:"),
                                           dialogs::defaultTitle, proposedName);
    if (name.isEmpty())
        return false;
    if (const QString problem = store::nameProblem(name); !problem.isEmpty()) {
        dialogs::msgBox(
            QStringLiteral("\"%1\" cannot be the name of an entry: %2.").arg(name, problem),
            dialogs::Information);
        return false;
    }
    const QString path = store::entryPath(*Dir1, name);
    if (store::entryExists(path)) {
        dialogs::msgBox(QStringLiteral("There is already an entry named \"%1\". Select it and use "
                                       "\"Edit ULR's information\" to change its text.")
                            .arg(name),
                        dialogs::Information);
        return false;
    }
    const Status created = store::createEntry(path, *R);
    if (!created) {
        errorreport::show(created);
        return false;
    }
    // Only a name that became an entry is carried to "Save".
    Group->setText(name);
    dialogs::msgBox(QStringLiteral("Enter the site information below and press 'save'"),
                    dialogs::Information);
    setAddingState(true);
    g->setText(QString());
    // What "Save" writes is the file just made: the box knows it as it was made, so a
    // file another program puts at the name meanwhile is not replaced unasked.
    g->adoptFile(*R);
    // The box the message just pointed to takes what the user types next.
    g->setFocus();
    return true;
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedLink(*event->mimeData()).url.isValid())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    const DroppedLink link = droppedLink(*event->mimeData());
    if (!link.url.isValid())
        return;
    event->acceptProposedAction();
    // The browser waits for the drop to end; the add and its questions come after it.
    QMetaObject::invokeMethod(
        this,
        [this, link] {
            if (beginAdd(entryfile::siteName(link.title, link.url)))
                g->insertPlainText(entryfile::spelledAddress(link.url));
        },
        Qt::QueuedConnection);
}

void Form1::Command4_Click()
{
    const QString name = Group->text();
    if (!Command4->isEnabled() || !store::nameProblem(name).isEmpty())
        return;
    const QString path = store::entryPath(*Dir1, name);
    Status saved = store::saveEntry(path, *g);
    if (saved.conflict() != Status::Conflict::None) {
        if (dialogs::msgBox(store::conflictQuestion(name, saved, QStringLiteral("you added it")),
                            dialogs::YesNo | dialogs::Question | dialogs::DefaultButton2) !=
            dialogs::Yes)
            return;
        saved = store::saveEntry(path, *g, RichTextBox::ReplaceAnyway);
    }
    if (!saved) {
        errorreport::show(saved);
        return;
    }
    setAddingState(false);
    if (const Status refreshed = File1->refresh(); !refreshed) {
        errorreport::show(refreshed);
        return;
    }
    Label1->setText(store::statisticsLine(store::countEntries(*File1)));
}

void Form1::Command5_Click()
{
    const QString name = store::selectedEntry(*File1);
    if (name.isEmpty())
        return;
    editprofile *editor = editprofile::openOne();
    const bool created = !editor->isVisible();
    editor->show();
    editor->raise();
    editor->activateWindow();
    // Text typed in the open editor is not replaced unasked.
    if (!created && !editor->mayLetTextGo(QStringLiteral("opening \"%1\"").arg(name)))
        return;
    const Status loaded = store::loadEntry(store::entryPath(*Dir1, store::selectedEntry(*File1)),
                                           *editor->RichTextBox1);
    if (!loaded) {
        errorreport::show(loaded);
        // A window that never held this entry must not offer to save it anywhere.
        if (created)
            editor->close();
        return;
    }
    editor->Label1->setText(editor->RichTextBox1->fileName());
    // "[*]" in a title is Qt's mark for unsaved changes, hidden or shown as "*"; doubled,
    // it shows as typed.
    editor->setWindowTitle(editprofile::designedCaption() + QStringLiteral(" - ") +
                           QString(name).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void Form1::Command6_Click()
{
    dialogs::msgBox(textBoxText(*about), dialogs::Information);
}

void Form1::Command7_Click()
{
    const QString name = store::selectedEntry(*File1);
    if (name.isEmpty())
        return;
    if (dialogs::msgBox(QStringLiteral("Do you really want to delete ") + name +
                            QStringLiteral(" site?"),
                        dialogs::YesNo) == dialogs::No)
        return;
    const QString chosen = store::selectedEntry(*File1);
    if (chosen.isEmpty())
        return;
    if (const Status deleted = store::deleteEntry(store::entryPath(*Dir1, chosen)); !deleted) {
        errorreport::show(deleted);
        return;
    }
    if (const Status refreshed = File1->refresh(); !refreshed) {
        errorreport::show(refreshed);
        return;
    }
    Label1->setText(store::statisticsLine(store::countEntries(*File1)));
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Text typed for a new entry is not dropped unasked; "Save" is the add's own Save,
    // and the window stays open, text and all, unless it succeeds.
    if (Command4->isEnabled() && !g->document()->isEmpty()) {
        const int answer = dialogs::msgBox(
            QStringLiteral("Save the text you typed for the new entry \"%1\" before closing?")
                .arg(Group->text()),
            dialogs::SaveDiscardCancel | dialogs::Question);
        if (answer == dialogs::Save)
            Command4_Click();
        const bool saved = answer == dialogs::Save && !Command4->isEnabled();
        if (!saved && answer != dialogs::Discard) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void Form1::setAddingState(bool adding)
{
    setFixedSize(width(), adding ? addingHeight : normalHeight);
    g->setEnabled(adding);
    Command4->setEnabled(adding);
}

// Pointer movement: the button under the pointer shows the highlighted picture and
// the other three the normal one. Movement over the window's other watched controls
// shows all four normal.

void Form1::watchPointer(QWidget *control)
{
    control->setMouseTracking(true);
    control->installEventFilter(this);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(control)) {
        area->viewport()->setMouseTracking(true);
        area->viewport()->installEventFilter(this);
    }
}

QWidget *Form1::pointerControlAt(const QPoint &globalPos) const
{
    const QWidget *watched[] = {Frame1, Frame2,   Frame3,   File1,    Text1,
                                Text2,  Command3, Command5, Command6, Command7};
    // A disabled control is transparent to the pointer, as on the system the design
    // comes from: the movement belongs to what lies beneath it, so a disabled button
    // clears the highlight of its neighbour instead of leaving it standing.
    for (QWidget *w = childAt(mapFromGlobal(globalPos)); w; w = w->parentWidget()) {
        if (w->isEnabled() &&
            std::find(std::begin(watched), std::end(watched), w) != std::end(watched))
            return w;
    }
    return const_cast<Form1 *>(this);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto &key = *static_cast<QKeyEvent *>(event);
        if ((watched == Text1 && Text1_KeyDown(key)) || (watched == File1 && File1_KeyDown(key)))
            return true;
    } else if (event->type() == QEvent::ShortcutOverride) {
        if (QKeySequence(static_cast<QKeyEvent *>(event)->keyCombination()) == editKey)
            return true;
    } else if (event->type() == QEvent::MouseMove) {
        auto *widget = static_cast<QWidget *>(watched);
        if (auto *area = qobject_cast<QAbstractScrollArea *>(widget->parentWidget());
            area && area->viewport() == widget)
            widget = area;
        // The same movement travels up through the parents; only the control that is
        // really under the pointer answers it. A disabled button keeps the movement to
        // itself, so it answers for the window beneath it and never lights up.
        if (!widget->isEnabled())
            widget = this;
        const QPoint global = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
        if (pointerControlAt(global) == widget)
            showPictures(widget);
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::showPictures(const QWidget *highlighted)
{
    for (PictureButton *button : {Command6, Command3, Command5, Command7})
        button->setPicture(button == highlighted ? Image2->pixmap() : Image3->pixmap());
}

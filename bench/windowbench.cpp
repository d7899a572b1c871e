// The main window driven offscreen through its controls, on the List folder under
// SITEBOOK_BENCH_BASE. Without arguments (or with Google Benchmark's own flags) it
// runs the timed figures; two other modes serve the script's whole-process checks:
//   ticks-traced   ticks the timer between marker calls, for strace to count the
//                  system calls the ticks make
//   peak-memory    opens the window, searches and selects, and prints the peak RSS
//   burst N        types into the search box while a child process writes N new
//                  entries into List, and prints the longest stall against the same
//                  typing without the burst, and how often the folder was read
//   write-burst N  the child: writes the N entries

#include "benchdata.h"

#include "controls/dialogs/dialogs.h"
#include "controls/filelist/filelistbox.h"
#include "controls/filelist/filelistmodel.h"
#include "controls/richtext/richtextbox.h"
#include "Form1/form1.h"
#include "Form1/picturebutton.h"
#include "rtf/rtfreader.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A message box would wait for a user who is not there; every one is a failure.
class FailingDialogs final : public dialogs::Provider {
public:
    FailingDialogs() = default;
    Q_DISABLE_COPY_MOVE(FailingDialogs)

    int msgBox(const QString &prompt, int, const QString &) override
    {
        std::fprintf(stderr, "sitebook-bench-window: the program asked: %s\n", qPrintable(prompt));
        std::exit(3);
    }
    QString inputBox(const QString &prompt, const QString &title, const QString &) override
    {
        msgBox(prompt, 0, title);
        return QString();
    }
};

// Lets the window handle what a click or keystroke left queued. Each round can queue
// the next (a delayed list layout asks for a repaint), so a few rounds are run; an
// empty round costs microseconds.
void settle()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

std::unique_ptr<Form1> openForm1()
{
    auto form = std::make_unique<Form1>();
    if (!form->Form1_Load())
        return nullptr;
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    settle();
    return form;
}

// Made on first use and destroyed by main before the application object goes.
std::unique_ptr<Form1> g_form;

Form1 &sharedForm()
{
    if (!g_form)
        g_form = openForm1();
    if (!g_form) {
        std::fputs("sitebook-bench-window: the window did not open\n", stderr);
        std::exit(3);
    }
    return *g_form;
}

FileListModel &modelOf(Form1 &form)
{
    return *qobject_cast<FileListModel *>(form.File1->model());
}

QString entryPath(const QString &name)
{
    return QDir::currentPath() + QStringLiteral("/List/") + name;
}

// Clicks the named entry as the user would and lets the window show it.
bool clickEntry(Form1 &form, const QString &name)
{
    const int row = modelOf(form).rowOf(name);
    if (row < 0)
        return false;
    const QModelIndex index = form.File1->model()->index(row, 0);
    form.File1->scrollTo(index);
    settle();
    QTest::mouseClick(form.File1->viewport(), Qt::LeftButton, Qt::NoModifier,
                      form.File1->visualRect(index).center());
    settle();
    return form.File1->fileName() == name;
}

void tick(Form1 &form)
{
    QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection);
}

void startup(benchmark::State &state)
{
    int count = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto form = std::make_unique<Form1>();
        const bool loaded = form->Form1_Load();
        state.SetIterationTime(secondsSince(start));
        if (!loaded) {
            state.SkipWithError("Form1_Load failed");
            break;
        }
        count = form->File1->listCount();
        form.reset();
        settle();
    }
    state.counters["entries"] = count;
}

void keystroke(benchmark::State &state)
{
    Form1 &form = sharedForm();
    FileListModel &model = modelOf(form);
    const int readsBefore = model.readCount();
    int found = 0;
    double handlerSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        QTest::keyClick(form.Text1, Qt::Key_E);
        handlerSeconds += secondsSince(start);
        settle();
        state.SetIterationTime(secondsSince(start));
        if (!form.l->isVisible() ||
            form.l->text() != QStringLiteral(" Found: %1").arg(form.File1->listCount())) {
            state.SkipWithError("the found count was not shown");
            break;
        }
        found = form.File1->listCount();
        QTest::keyClick(form.Text1, Qt::Key_Backspace);
        settle();
    }
    state.counters["found"] = found;
    // The handler alone, without the layout and painting that follow it.
    state.counters["handler_ms"] =
        benchmark::Counter(handlerSeconds * 1e3, benchmark::Counter::kAvgIterations);
    // Twice per iteration: the timed keystroke and the backspace after it.
    state.counters["folder_reads"] = model.readCount() - readsBefore;
}

QString plainTextOf(const QString &name)
{
    QFile file(entryPath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    return rtf::toPlainText(std::string_view(bytes.constData(), size_t(bytes.size())));
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

bool laidOutToTheEnd(const QTextDocument &document)
{
    const QTextLayout *last = document.lastBlock().layout();
    return last != nullptr && last->lineCount() > 0;
}

// What a user sees of one action that shows text in a view, timed from inside the event
// loop: when the view's first paint showing the new text is on screen and the window
// handles events again, and the longest stretch in which it handled none (a 1 ms
// heartbeat's largest gap) until the whole text is laid out. In milliseconds, wall
// clock and this thread's processor time.
struct Shown {
    double paint = 0;
    double paintCpu = 0;
    double stall = 0;
    double stallCpu = 0;
    bool complete = false;
};

class ShowProbe final : public QObject {
public:
    ShowProbe(QTextEdit &view, std::function<bool()> showsNewText)
        : m_view(view), m_showsNewText(std::move(showsNewText))
    {
        m_heartbeat.setTimerType(Qt::PreciseTimer);
        m_heartbeat.setInterval(1);
        connect(&m_heartbeat, &QTimer::timeout, this, [this] { beat(); });
    }

    Shown run(const std::function<void()> &action)
    {
        m_shown = Shown();
        m_painted = m_onScreen = m_armed = false;
        m_view.viewport()->installEventFilter(this);
        m_view.window()->installEventFilter(this);
        QEventLoop loop;
        QTimer done;
        connect(&done, &QTimer::timeout, &loop, [&] {
            if (m_onScreen && m_shown.complete)
                loop.quit();
        });
        done.start(5);
        QTimer::singleShot(20'000, &loop, &QEventLoop::quit);
        // The action runs from the event loop, as a click's handler does, so that its own
        // time counts as a stretch without events.
        QTimer::singleShot(0, this, [&] {
            m_start = m_lastBeat = Clock::now();
            m_startCpu = m_lastBeatCpu = threadCpuMs();
            m_armed = true;
            m_heartbeat.start();
            action();
        });
        loop.exec();
        m_heartbeat.stop();
        m_armed = false;
        m_view.viewport()->removeEventFilter(this);
        m_view.window()->removeEventFilter(this);
        return m_shown;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_armed || m_onScreen)
            return false;
        if (watched == m_view.viewport() && event->type() == QEvent::Paint && m_showsNewText())
            m_painted = true;
        // The window paints when it handles its update request: handled here, the time
        // after it is the time the paint is done.
        if (watched == m_view.window() && event->type() == QEvent::UpdateRequest && !m_inUpdate) {
            m_inUpdate = true;
            static_cast<QObject *>(watched)->event(event);
            m_inUpdate = false;
            if (m_painted) {
                m_onScreen = true;
                m_shown.paint = msSince(m_start);
                m_shown.paintCpu = threadCpuMs() - m_startCpu;
            }
            return true;
        }
        return false;
    }

private:
    static double msSince(Clock::time_point start)
    {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    void beat()
    {
        if (m_shown.complete)
            return;
        const auto now = Clock::now();
        const double cpu = threadCpuMs();
        m_shown.stall = std::max(m_shown.stall, msSince(m_lastBeat));
        m_shown.stallCpu = std::max(m_shown.stallCpu, cpu - m_lastBeatCpu);
        m_lastBeat = now;
        m_lastBeatCpu = cpu;
        m_shown.complete = m_onScreen && m_showsNewText() && laidOutToTheEnd(*m_view.document());
    }

    QTextEdit &m_view;
    std::function<bool()> m_showsNewText;
    QTimer m_heartbeat;
    Shown m_shown;
    Clock::time_point m_start, m_lastBeat;
    double m_startCpu = 0, m_lastBeatCpu = 0;
    bool m_armed = false, m_painted = false, m_onScreen = false, m_inUpdate = false;
};

// Lets the event loop run for a while, so that whatever the last action left (layout,
// timers) is done before the next one is timed.
void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A click on a long entry, from the click to its first screen painted, against the floor:
// the entry's plain text given to a QTextEdit of the pane's size with setPlainText, timed
// the same way in turn with it. Before each click another entry is shown.
void selectEntry(benchmark::State &state, const QString &name)
{
    Form1 &form = sharedForm();
    const QString other = modelOf(form).nameAt(modelOf(form).nameAt(0) == name ? 1 : 0);
    if (!clickEntry(form, name) || !clickEntry(form, other)) {
        state.SkipWithError("the entry is not in the list");
        return;
    }
    const QModelIndex index = form.File1->model()->index(modelOf(form).rowOf(name), 0);
    const QString plain = plainTextOf(name);
    QTextEdit floorBox;
    floorBox.setReadOnly(true);
    floorBox.resize(form.Text2->size());
    floorBox.show();
    if (!QTest::qWaitForWindowExposed(&floorBox)) {
        state.SkipWithError("the floor's box did not show");
        return;
    }
    const auto isName = [&form, &name] { return form.File1->fileName() == name; };
    ShowProbe ours(*form.Text2, [&] { return isName() && !form.Text2->document()->isEmpty(); });
    ShowProbe floor(floorBox, [&floorBox] { return !floorBox.document()->isEmpty(); });
    Shown sum, floorSum;
    double worstStall = 0;
    double handlerMs = 0;
    int runs = 0;
    for (auto _ : state) {
        floorBox.clear();
        (void)clickEntry(form, other);
        idle(20);
        const Shown base = floor.run([&] { floorBox.setPlainText(plain); });
        idle(20);
        const Shown shown = ours.run([&] {
            const auto start = Clock::now();
            QTest::mouseClick(form.File1->viewport(), Qt::LeftButton, Qt::NoModifier,
                              form.File1->visualRect(index).center());
            handlerMs += secondsSince(start) * 1e3;
        });
        if (!shown.complete || !base.complete || !isName()) {
            state.SkipWithError("the entry was not shown and laid out");
            break;
        }
        state.SetIterationTime(shown.paint / 1e3);
        for (auto [total, one] : {std::pair{&sum, shown}, std::pair{&floorSum, base}}) {
            total->paint += one.paint;
            total->paintCpu += one.paintCpu;
            total->stall += one.stall;
            total->stallCpu += one.stallCpu;
        }
        worstStall = std::max(worstStall, shown.stall);
        ++runs;
    }
    const auto perRun = [runs](double total) { return runs > 0 ? total / runs : 0.0; };
    state.counters["characters"] = form.Text2->document()->characterCount();
    state.counters["handler_ms"] = perRun(handlerMs);
    state.counters["cpu_ms"] = perRun(sum.paintCpu);
    state.counters["stall_ms"] = perRun(sum.stall);
    state.counters["stall_cpu_ms"] = perRun(sum.stallCpu);
    state.counters["worst_stall_ms"] = worstStall;
    state.counters["floor_ms"] = perRun(floorSum.paint);
    state.counters["floor_cpu_ms"] = perRun(floorSum.paintCpu);
    state.counters["floor_stall_ms"] = perRun(floorSum.stall);
}

void tickWith(benchmark::State &state, bool selected)
{
    Form1 &form = sharedForm();
    if (selected) {
        if (!clickEntry(form, modelOf(form).nameAt(form.File1->listCount() / 2))) {
            state.SkipWithError("no entry to select");
            return;
        }
    } else {
        form.File1->clearSelection();
        settle();
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        tick(form);
        state.SetIterationTime(secondsSince(start));
        settle();
    }
    if (form.Command5->isEnabled() != selected || form.Command7->isEnabled() != selected)
        state.SkipWithError("the tick left the buttons in the wrong state");
}

// The markers are calls strace shows with their path, and no tick makes.
void marker(const char *name)
{
    const QByteArray path = QByteArray("/sitebook-bench-marker/") + name;
    (void)::access(path.constData(), F_OK);
}

int ticksTraced()
{
    Form1 &form = sharedForm();
    constexpr int ticks = 1000;
    form.File1->clearSelection();
    settle();
    marker("ticks-unselected-begin");
    for (int i = 0; i < ticks; ++i)
        tick(form);
    marker("ticks-unselected-end");
    const bool unselectedRight = !form.Command5->isEnabled() && !form.Command7->isEnabled() &&
                                 form.Text2->document()->isEmpty();
    settle();
    if (!clickEntry(form, modelOf(form).nameAt(0))) {
        std::fputs("sitebook-bench-window: no entry to select\n", stderr);
        return 1;
    }
    marker("ticks-selected-begin");
    for (int i = 0; i < ticks; ++i)
        tick(form);
    marker("ticks-selected-end");
    const bool selectedRight = form.Command5->isEnabled() && form.Command7->isEnabled();
    // One look at the folder, as a listing check would make: the trace must see it,
    // or counting nothing between the other markers would prove nothing.
    marker("canary-begin");
    struct stat info {};
    (void)::stat("List", &info);
    marker("canary-end");
    std::printf("ticks %d unselected_right %d selected_right %d\n", 2 * ticks, unselectedRight,
                selectedRight);
    return unselectedRight && selectedRight ? 0 : 1;
}

int peakMemory()
{
    Form1 &form = sharedForm();
    QTest::keyClick(form.Text1, Qt::Key_E);
    settle();
    QTest::keyClick(form.Text1, Qt::Key_Backspace);
    settle();
    if (form.File1->listCount() > 0)
        (void)clickEntry(form, modelOf(form).nameAt(0));
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak_rss_kib %ld entries %d\n", usage.ru_maxrss, form.File1->listCount());
    return 0;
}

QString burstName(int i)
{
    return QString::asprintf("burst %04d - example.org", i);
}

int writeBurst(int count)
{
    for (int i = 0; i < count; ++i) {
        QFile file(entryPath(burstName(i)));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 "
                       "https://example.org/\\par }") < 0)
            return 1;
    }
    return 0;
}

struct Typing {
    double longestGapMs = 0;
    double longestOwnMs = 0;
    int keystrokes = 0;
};

// Nanoseconds this thread has spent waiting for a processor while ready to run, from the
// scheduler's own account; -1 where the system keeps none.
qint64 runQueueWaitNs()
{
    static const int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    char text[96] = {};
    if (fd < 0 || ::pread(fd, text, sizeof text - 1, 0) <= 0)
        return -1;
    unsigned long long running = 0, waiting = 0;
    return std::sscanf(text, "%llu %llu", &running, &waiting) == 2 ? qint64(waiting) : -1;
}

// Types into the search box, a key every 30 ms (a fast typist), until `done`; a 1 ms
// heartbeat measures the longest the window kept events waiting meanwhile. Of each gap
// between two beats, the time the thread stood ready while other programs had the
// processors is not the window's: the rest is its own work, keystrokes, the list's
// catching up and whatever else it did.
Typing typeUntil(Form1 &form, const std::function<bool()> &done)
{
    Typing typing;
    QEventLoop loop;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    auto last = Clock::now();
    qint64 lastWait = runQueueWaitNs();
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const qint64 wait = runQueueWaitNs();
        const double gap = std::chrono::duration<double, std::milli>(now - last).count();
        const double waited = wait >= 0 && lastWait >= 0 ? (wait - lastWait) / 1e6 : 0;
        typing.longestGapMs = std::max(typing.longestGapMs, gap);
        typing.longestOwnMs = std::max(typing.longestOwnMs, gap - waited);
        last = now;
        lastWait = wait;
        if (done())
            loop.quit();
    });
    QTimer keys;
    keys.setInterval(30);
    QObject::connect(&keys, &QTimer::timeout, [&] {
        QTest::keyClick(form.Text1, form.Text1->text().isEmpty() ? Qt::Key_E : Qt::Key_Backspace);
        ++typing.keystrokes;
    });
    heartbeat.start();
    keys.start();
    last = Clock::now();
    loop.exec();
    if (!form.Text1->text().isEmpty())
        QTest::keyClick(form.Text1, Qt::Key_Backspace);
    settle();
    return typing;
}

int burst(int count)
{
    Form1 &form = sharedForm();
    FileListModel &model = modelOf(form);
    const int before = form.File1->listCount();
    const auto after = [](double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        return [end] { return Clock::now() >= end; };
    };
    const Typing alone = typeUntil(form, after(3));

    const int readsBefore = model.readCount();
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("write-burst"), QString::number(count)});
    const auto start = Clock::now();
    if (!writer.waitForStarted()) {
        std::fputs("sitebook-bench-window: the writer did not start\n", stderr);
        return 1;
    }
    // Typing goes on for a while after the list has caught up: keystrokes just after a
    // burst must not read the folder either.
    std::optional<Clock::time_point> caughtUp;
    const auto hung = after(120);
    const Typing during = typeUntil(form, [&] {
        if (!caughtUp && writer.state() == QProcess::NotRunning && form.Text1->text().isEmpty() &&
            form.File1->listCount() == before + count)
            caughtUp = Clock::now();
        return (caughtUp && Clock::now() - *caughtUp > std::chrono::seconds(3)) || hung();
    });
    const int reads = model.readCount() - readsBefore;
    for (int i = 0; i < count; ++i)
        QFile::remove(entryPath(burstName(i)));
    if (!caughtUp || writer.exitCode() != 0) {
        std::fprintf(stderr, "sitebook-bench-window: the list shows %d names, not %d\n",
                     form.File1->listCount(), before + count);
        return 1;
    }
    std::printf("longest_own_ms %.2f alone_longest_own_ms %.2f longest_gap_ms %.2f "
                "alone_longest_gap_ms %.2f reads %d seconds %.2f keystrokes %d\n",
                during.longestOwnMs, alone.longestOwnMs, during.longestGapMs, alone.longestGapMs,
                reads, std::chrono::duration<double>(*caughtUp - start).count(), during.keystrokes);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FailingDialogs failing;
    dialogs::setProvider(&failing);

    // The window takes the folder it is started in as its base, as the program does.
    const QString base = qEnvironmentVariable("SITEBOOK_BENCH_BASE");
    if (base.isEmpty() || !QDir::setCurrent(base)) {
        std::fputs("sitebook-bench-window: set SITEBOOK_BENCH_BASE to a folder holding List\n",
                   stderr);
        return 2;
    }

    if (argc > 1 && std::strcmp(argv[1], "ticks-traced") == 0) {
        const int result = ticksTraced();
        g_form.reset();
        return result;
    }
    if (argc > 2 && std::strcmp(argv[1], "write-burst") == 0)
        return writeBurst(std::atoi(argv[2]));
    if (argc > 2 && std::strcmp(argv[1], "burst") == 0) {
        const int result = burst(std::atoi(argv[2]));
        g_form.reset();
        return result;
    }
    if (argc > 1 && std::strcmp(argv[1], "peak-memory") == 0) {
        const int result = peakMemory();
        g_form.reset();
        return result;
    }

    benchmark::Initialize(&argc, argv);
    const bool quick = !qEnvironmentVariableIsEmpty("SITEBOOK_BENCH_QUICK");
    const auto timed = [quick](benchmark::internal::Benchmark *b,
                               benchmark::TimeUnit unit = benchmark::kMillisecond) {
        b->UseManualTime()
            ->Unit(unit)
            ->MinTime(quick ? 0.05 : 0.5)
            ->Repetitions(quick ? 3 : 7)
            ->ReportAggregatesOnly(true);
    };
    timed(benchmark::RegisterBenchmark("startup", startup));
    timed(benchmark::RegisterBenchmark("keystroke", keystroke));
    const bool haveLong = QFile::exists(entryPath(benchdata::longEntry10k()));
    if (haveLong) {
        for (const auto &[label, name] : {std::pair{"10k", benchdata::longEntry10k()},
                                          std::pair{"1m", benchdata::longEntry1m()}}) {
            // Each click is timed with its floor and waits for both layouts to finish.
            benchmark::RegisterBenchmark((std::string("select_") + label).c_str(), selectEntry,
                                         name)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(quick ? 2 : 5)
                ->Repetitions(quick ? 3 : 7)
                ->ReportAggregatesOnly(true);
        }
    }
    for (const auto &[label, selected] :
         {std::pair{"tick_unselected", false}, std::pair{"tick_selected", true}}) {
        timed(benchmark::RegisterBenchmark(label, tickWith, selected), benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_form.reset();
    return 0;
}

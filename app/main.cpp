#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTranslator>


#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "Body.h"
#include "analysis/AnalysisOnBody.h"
#include "StartupOptions.h"
#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchDispatcher.h"
#include "batch/BatchLog.h"
#include "batch/BatchOnBody.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "core/Cfg.h"
#include "core/FailureLog.h"
#include "core/Globals.h"

#ifdef Q_OS_UNIX
namespace {

int signalPipe[2] = {-1, -1};
// The same signals for the watch that ends a run whose main thread cannot
// act on them.
int watchPipe[2] = {-1, -1};
const int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
bool caught[3] = {false, false, false};
volatile sig_atomic_t stopSignal = 0;
// The main thread took the signal in hand; then it ends the run itself.
std::atomic<bool> acted{false};
// Whoever writes the closing count: the main thread or the watch, once.
std::atomic<bool> endClaimed{false};
std::atomic<bool> stopCounted{false};

void onTerminate(int sig)
{
    // Lines the reader does not take now are dropped, not waited for.
    BatchLog::hurry();
    stopSignal = sig;
    const char c = char(sig);
    // Non-blocking: a signal repeated until the socket is full is no less said.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
    [[maybe_unused]] const ssize_t w = ::write(watchPipe[1], &c, 1);
}

// A script run stopped from outside (a pipeline's time-out, Ctrl-C) ends as
// when its main window is closed: the script stops, what it left undone is
// said and counted. Caught from the first line of main on, so a signal
// during start-up is kept until the window can act on it. A signal ignored
// when the program started (nohup, a background job) stays ignored: whoever
// started it asked for that.
void catchTerminate()
{
    // A reader of standard error that goes away (`| head -1`) never ends a
    // run: from the first line on, a write to it fails instead.
    ::signal(SIGPIPE, SIG_IGN);
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0 || ::pipe(watchPipe) != 0)
        return;
    for (const int fd : {signalPipe[0], signalPipe[1], watchPipe[0], watchPipe[1]}) {
        // The watch waits on its end.
        if (fd != watchPipe[0]) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa = {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        struct sigaction old = {};
        if (sigaction(stopSignals[i], nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN)
            continue;
        caught[i] = sigaction(stopSignals[i], &sa, nullptr) == 0;
    }
}

// No script run: the signals act as they always did, one that came during
// start-up included.
void releaseTerminate()
{
    for (int i = 0; i < 3; ++i)
        if (caught[i]) ::signal(stopSignals[i], SIG_DFL);
    char c;
    if (signalPipe[0] >= 0 && ::read(signalPipe[0], &c, 1) == 1)
        ::raise(int(c));
}

const char* signalName(int sig)
{
    return sig == SIGINT ? "SIGINT" : sig == SIGHUP ? "SIGHUP" : "SIGTERM";
}

// A stop the script itself did not count (its lines had all run, or it
// never got to run) is counted here, once.
void countStop(int sig)
{
    if (stopCounted.exchange(true)) return;
    const QString text = QCoreApplication::translate("main", "Batch: the run was stopped by %1 before its end")
                             .arg(QLatin1String(signalName(sig)));
    FailureLog::note(text);
    BatchLog::write(text);
}

void closeOnTerminate(QWidget& window)
{
    if (signalPipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
        acted = true;
        notifier->setEnabled(false);
        const int before = FailureLog::count();
        // Stops the script and counts the lines it left undone, waited for.
        window.close();
        if (FailureLog::count() == before) countStop(int(c));
    });
}

}  // namespace
#endif

QString closingLine(int failures, const QString& first);

#ifdef Q_OS_UNIX
namespace {

// What the main thread may take before a stop signal it has not acted on
// ends the run from here: it may wait on a read that never ends (a named
// pipe without a writer, a script on a pipe that stays open) or be in a
// long step.
constexpr int unheededStopMs = 5000;
constexpr int watchLastWordsMs = 300;

// A script run ends on a stop signal, counted, whatever its main thread waits for.
void watchStops()
{
    if (watchPipe[0] < 0) return;
    std::thread([] {
        char c = 0;
        ssize_t n;
        while ((n = ::read(watchPipe[0], &c, 1)) < 0 && errno == EINTR) {
        }
        if (n != 1) return;
        const auto start = std::chrono::steady_clock::now();
        while (!acted && !endClaimed && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(unheededStopMs))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (acted || endClaimed.exchange(true)) return;
        countStop(int(c));
        BatchLog::write(closingLine(FailureLog::count(), FailureLog::first()));
        BatchLog::finish(watchLastWordsMs);
        ::_exit(1);
    }).detach();
}

// The main thread ends the run, unless the watch does already: then it
// waits for the watch's exit.
void claimEnd()
{
    if (!endClaimed.exchange(true)) return;
    for (;;) ::pause();
}

}  // namespace
#endif

// The last line of a script run's log: its count of failures and the first.
QString closingLine(int failures, const QString& first)
{
    return failures > 0 ? QCoreApplication::translate("main", "Failures in this run: %1; the first: %2")
                              .arg(QString::number(failures), first)
                        : QCoreApplication::translate("main", "Failures in this run: 0");
}

// What a reader that stalled, or a run ended by a signal, still gets to
// take before the program exits.
constexpr int lastWordsMs = 300;

int main(int argc, char** argv)
{
#ifdef Q_OS_UNIX
    catchTerminate();
#endif
    initBatchCmdTablesHook = initBatchCmdTables;
    initGlobals();
    installAnalysisOnBody();
    installBatchOnBody();
    installToolsOnBody();
    installCalibOnBody();
    installAnalyzer2OnBody();
    globalCfg.init(argc, argv, QString(), QStringList());

    QApplication app(argc, argv);
    QTranslator translator;
    QApplication::setStyle("Fusion");

    const QDir programDir(QCoreApplication::applicationDirPath());
    const QFileInfo defaultCfg(programDir, "config.cfg");
    const QString cfgFile = configFileName(globalCfg, defaultCfg.canonicalFilePath());
    qDebug() << "cfg file" << cfgFile;
    globalCfg.readFile(cfgFile);
    // The reader's "Can't open" line reads like an error; a start without a
    // configuration file is the usual first run.
    if (cfgFile.isEmpty())
        qInfo().noquote() << "No config.cfg beside the program: the defaults and the command line apply";

    const StartupOptions opt = resolveStartupOptions(globalCfg, DataRoot, BatchRoot, showAnalyzer2Button);
    DataRoot = opt.dataRoot;
    BatchRoot = opt.batchRoot;
    showAnalyzer2Button = opt.showAnalyzer2Button;
#ifdef Q_OS_UNIX
    if (!opt.execBatch) releaseTerminate();
#endif
    qDebug() << "show analyzer 2" << (showAnalyzer2Button ? "true" : "false");
    qDebug() << "Keys of Cfg::" << globalCfg.keys;
    qDebug() << (globalCfg.keys.contains("ShowAnalyzer2Button") ? "true" : "false")
             << globalCfg.value("ShowAnalyzer2Button", QString());

    if (!opt.english && translator.load(":Corvenlith_ja_JP", QCoreApplication::applicationDirPath()))
        app.installTranslator(&translator);

    // The batch log of a script run goes to standard error, from the
    // configuration's lines on.
    BatchLog::setToStandardError(opt.execBatch);
    // The debug output shares standard error: through the same queue, a
    // load's messages stay before the next script line.
    if (opt.execBatch) BatchLog::routeMessages();
#ifdef Q_OS_UNIX
    if (opt.execBatch) watchStops();
#endif

    int result = 0;
    {
        // One owner: the window is destroyed here, once, when the loop returns.
        Body body(nullptr);
        QObject::connect(&body, SIGNAL(finishing()), &app, SLOT(closeAllWindows()));
        body.show();
        if (BatchOnBody* batch = BatchOnBody::of(body)) {
            BatchCtrl* ctrl = batch->batchCtrl();
            const bool read = !opt.batchFile.isEmpty() && ctrl->setBatchFile(opt.batchFile);
            // Without a screen nobody could ever close a window left waiting.
            const QString platform = QGuiApplication::platformName();
            const bool headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
            if (opt.execBatch && !read && headless) {
                const QString why = opt.batchFile.isEmpty() ? QStringLiteral("no batch file given (-b FILE)")
                                                            : ctrl->loadError();
                const QString said = QStringLiteral("-x: ") + why;
                BatchLog::write(said);
                // The configuration's lines may still run: nothing of them
                // comes after the count.
                batch->dispatcher()->askStop();
                batch->stop();
#ifdef Q_OS_UNIX
                claimEnd();
#endif
                // A refused file is the run's one failure; its log ends with
                // the count like every other run's.
                BatchLog::write(closingLine(1, said));
                BatchLog::finish(lastWordsMs);
                // A file that could not be opened, as before; one refused for
                // what it is fails like any refusal.
                return ctrl->loadRefused() ? 1 : 2;
            }
            if (opt.execBatch) {
                ctrl->execBatchSlot();
#ifdef Q_OS_UNIX
                closeOnTerminate(body);
#endif
                if (headless) batch->endWithScript(ctrl->listsDispatched());
            }
        }
        result = app.exec();
    }
    // A script run tells its caller whether every step went through: the
    // window's teardown has written its lines, so this one comes last. The
    // status does not depend on the reader taking it.
    if (opt.execBatch) {
#ifdef Q_OS_UNIX
        claimEnd();
        // A signal the loop never took (the script had ended first) stops
        // the run all the same.
        if (stopSignal != 0 && !acted) countStop(int(stopSignal));
#endif
        const int failures = FailureLog::count();
        BatchLog::write(closingLine(failures, FailureLog::first()));
        BatchLog::finish(lastWordsMs);
        if (failures > 0 && result == 0) result = 1;
    }
    return result;
}

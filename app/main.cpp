#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

#include <cstdio>

#include "Body.h"
#include "analysis/AnalysisOnBody.h"
#include "StartupOptions.h"
#include "batch/BatchCmd.h"
#include "batch/BatchCtrl.h"
#include "batch/BatchOnBody.h"
#include "tools/Analyzer2OnBody.h"
#include "tools/CalibOnBody.h"
#include "tools/ToolsOnBody.h"
#include "core/Cfg.h"
#include "core/FailureLog.h"
#include "core/Globals.h"

int main(int argc, char** argv)
{
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
    qDebug() << "show analyzer 2" << (showAnalyzer2Button ? "true" : "false");
    qDebug() << "Keys of Cfg::" << globalCfg.keys;
    qDebug() << (globalCfg.keys.contains("ShowAnalyzer2Button") ? "true" : "false")
             << globalCfg.value("ShowAnalyzer2Button", QString());

    if (!opt.english && translator.load(":Corvenlith_ja_JP", QCoreApplication::applicationDirPath()))
        app.installTranslator(&translator);

    int result = 0;
    {
        // One owner: the window is destroyed here, once, when the loop returns.
        Body body(nullptr);
        QObject::connect(&body, SIGNAL(finishing()), &app, SLOT(closeAllWindows()));
        body.show();
        if (BatchOnBody* batch = BatchOnBody::of(body)) {
            const bool read = !opt.batchFile.isEmpty() && batch->batchCtrl()->setBatchFile(opt.batchFile);
            // Without a screen nobody could ever close a window left waiting.
            const QString platform = QGuiApplication::platformName();
            if (opt.execBatch && !read
                && (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))) {
                fprintf(stderr, "%s\n",
                        qPrintable(opt.batchFile.isEmpty()
                                       ? QStringLiteral("-x: no batch file given (-b FILE)")
                                       : QStringLiteral("-x: cannot read the batch file %1").arg(opt.batchFile)));
                return 2;
            }
            if (opt.execBatch)
                batch->batchCtrl()->execBatchSlot();
        }
        result = app.exec();
    }
    // A script run tells its caller whether every step went through: the
    // window's teardown has written its lines, so this one comes last.
    const int failures = FailureLog::count();
    if (opt.execBatch && failures > 0) {
        fprintf(stderr, "%s\n",
                qPrintable(QCoreApplication::translate("main", "Failures in this run: %1; the first: %2")
                               .arg(QString::number(failures), FailureLog::first())));
        fflush(stderr);
        if (result == 0) result = 1;
    }
    return result;
}

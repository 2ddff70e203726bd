#ifndef STARTUPOPTIONS_H
#define STARTUPOPTIONS_H

#include <QString>

class Cfg;

// What start-up takes from the command line and the configuration file,
// resolved without touching the application or the program-wide globals.
struct StartupOptions {
    QString dataRoot;
    QString batchRoot;
    bool showAnalyzer2Button = false;
    bool english = false;      // "-e": no translation
    QString batchFile;         // "-b": loaded into the batch window when not empty
    bool execBatch = false;    // "-x": run the batch window's script
};

// The configuration file to read: defaultFile unless "-c" names another,
// and "-config" over both.
QString configFileName(const Cfg& cfg, const QString& defaultFile);

// The options after the configuration file has joined the command line in
// cfg. The current globals are the defaults of the keys.
StartupOptions resolveStartupOptions(const Cfg& cfg, const QString& dataRoot,
                                     const QString& batchRoot, bool showAnalyzer2Button);

#endif

#ifndef LAZYFILEDIALOG_H
#define LAZYFILEDIALOG_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class _FileDialog;

// A file dialog built when it is first needed (shown, or asked for by
// dialog()). A dialog costs a folder-watching thread from its start and
// rewrites the user's dialog settings when it goes; a run without a screen
// shows none, so it builds none. What is set before the build is applied to
// the dialog when it is built, in order.
class LazyFileDialog : public QObject
{
    Q_OBJECT

public:
    using Make = std::function<_FileDialog*()>;
    using Step = std::function<void(_FileDialog&)>;

    // make builds the dialog (a plain _FileDialog by default); setup shapes it.
    explicit LazyFileDialog(Step setup = Step(), Make make = Make(), QObject* parent = nullptr);
    ~LazyFileDialog() override;

    _FileDialog* dialog();
    bool isBuilt() const { return !built.isNull(); }
    // Done to the dialog now when it is built, else when it is.
    void apply(const Step& step);
    void setDirectory(const QString& dir);
    void setNameFilters(const QStringList& filters);
    void setWindowTitle(const QString& title);

public slots:
    void show();

signals:
    // As the dialog's own; also emitted by whoever stands in for a user.
    void fileSelected(const QString& file);
    void filesSelected(const QStringList& files);
    void dialogBuilt(_FileDialog* d);

private:
    Make make;
    std::vector<Step> pending;
    QString pendingDir;  // the last folder asked for before the build
    QPointer<_FileDialog> built;
};

#endif

#ifndef SCRIPTTEXT_H
#define SCRIPTTEXT_H

#include <QByteArray>
#include <QString>

// The text of a script file, read from its bytes: every line of it, whatever
// ends its lines (LF, CRLF or a lone CR), or a refusal saying why the bytes
// are no script.
struct ScriptText
{
    // A script file longer than this is no script.
    static constexpr qint64 maxBytes = 64 << 20;
    // Lines the editor and the interpreter hold in a small multiple of the
    // file's size; a script with more lines is refused.
    static constexpr int maxLines = 1 << 20;
    // Bytes a line may have, its end not counted.
    static constexpr int maxLineBytes = 1 << 20;

    QString text;  // the lines, each ended by "\n"; empty when refused
    QString why;   // the refusal, empty when the bytes are a script
    int lines = 0;

    bool ok() const { return why.isEmpty(); }

    // name is how the refusal names the file.
    static ScriptText fromBytes(const QByteArray& bytes, const QString& name);
    // Line number (from 1) of the byte at offset, counting every kind of
    // line end before it.
    static int lineAt(const QByteArray& bytes, int offset);
};

#endif

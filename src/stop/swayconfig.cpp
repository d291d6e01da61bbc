// SPDX-License-Identifier: GPL-3.0-or-later
#include "swayconfig.h"

#include <algorithm>

#include <wordexp.h>

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxIncludeDepth = 16;

class Reader
{
public:
    SwayEscapeBindings result;

    void read(const QString &text, const QString &path, int depth)
    {
        QList<QStringList> blocks; // the opening words of the blocks a line lies in, outermost first
        static const QRegularExpression blanks(u"\\s+"_s);
        for (const QString &rawLine : text.split(u'\n')) {
            QString line = rawLine.trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            if (line == u"}") {
                if (!blocks.isEmpty())
                    blocks.removeLast();
                continue;
            }
            line = replaceVariables(line);
            QString lineMode = u"default"_s;
            QStringList words;
            for (const QStringList &block : std::as_const(blocks)) {
                if (block.value(0) == u"mode")
                    lineMode = unquoted(block.mid(1).join(u' ').remove(u"--pango_markup"_s));
                else if (block.value(0).startsWith(u"bind"))
                    words = block; // "bindsym { ... }": each line continues the opener
            }
            const bool opens = line.endsWith(u'{');
            if (opens)
                line.chop(1);
            words += line.split(blanks, Qt::SkipEmptyParts);
            if (opens) {
                blocks.append(words);
                continue;
            }
            if (blocks.isEmpty() && words.value(0) == u"set" && words.value(1).startsWith(u'$')) {
                m_variables.insert(words.value(1), words.mid(2).join(u' '));
                continue;
            }
            if (blocks.isEmpty() && words.value(0) == u"include") {
                include(unquoted(words.mid(1).join(u' ')), path, depth);
                continue;
            }
            const bool keysym = words.value(0) == u"bindsym";
            if (!keysym && words.value(0) != u"bindcode")
                continue;
            qsizetype i = 1;
            while (words.value(i).startsWith(u"--"))
                ++i;
            const QString key = words.value(i);
            if (keysym ? key.compare(u"Escape"_s, Qt::CaseInsensitive) == 0 : key == u"9")
                result.commands.insert(lineMode, words.mid(i + 1).join(u' '));
        }
    }

private:
    static QString unquoted(QString text)
    {
        text = text.trimmed();
        if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'')
            && text.back() == text.front())
            text = text.mid(1, text.size() - 2);
        return text;
    }

    // As sway does: each "$name" the config set, the longest names first.
    QString replaceVariables(const QString &line) const
    {
        if (!line.contains(u'$') || line.startsWith(u"set "))
            return line;
        QStringList names = m_variables.keys();
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        QString replaced = line;
        for (const QString &name : std::as_const(names))
            replaced.replace(name, m_variables.value(name));
        return replaced;
    }

    // The files one include line names, as sway expands it: the shell's words, relative to the
    // folder of the file that includes them; each file once.
    void include(const QString &pattern, const QString &parentPath, int depth)
    {
        QByteArray words = QFile::encodeName(pattern);
        if (!pattern.startsWith(u'/') && !pattern.startsWith(u'~') && !pattern.startsWith(u'$')) {
            if (parentPath.isEmpty())
                return unknownInclude(pattern, u"sway named no config file"_s);
            QByteArray folder = QFile::encodeName(QFileInfo(parentPath).absolutePath());
            folder.replace('\'', "'\\''");
            words = '\'' + folder + "'/" + words;
        }
        wordexp_t expanded {};
        const int error = ::wordexp(words.constData(), &expanded, WRDE_NOCMD);
        if (error == WRDE_CMDSUB)
            return unknownInclude(pattern, u"it runs a command"_s);
        if (error != 0) {
            if (error == WRDE_NOSPACE)
                ::wordfree(&expanded);
            return; // sway cannot expand it either, and includes nothing
        }
        for (size_t i = 0; i < expanded.we_wordc; ++i) {
            const QString file = QFileInfo(QFile::decodeName(expanded.we_wordv[i]))
                                         .canonicalFilePath();
            if (file.isEmpty() || m_included.contains(file))
                continue; // missing, as sway skips it, or read already
            m_included.insert(file);
            QFile config(file);
            if (depth >= MaxIncludeDepth || !config.open(QIODevice::ReadOnly))
                unknownInclude(file, config.errorString());
            else
                read(QString::fromUtf8(config.readAll()), file, depth + 1);
        }
        ::wordfree(&expanded);
    }

    void unknownInclude(const QString &what, const QString &why)
    {
        if (result.unknown.isEmpty())
            result.unknown = u"sway's config includes %1, which cannot be read here (%2)"_s.arg(
                    what, why);
    }

    QHash<QString, QString> m_variables;
    QSet<QString> m_included;
};

} // namespace

SwayEscapeBindings swayEscapeBindings(const QString &mainConfig, const QString &mainPath)
{
    Reader reader;
    reader.read(mainConfig, mainPath, 0);
    return reader.result;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StartOptions.h"

#include "platform/Version.h"

#include <QCoreApplication>
#include <QString>

namespace stowmere::app {
namespace {

// The texts in the user's language once the translators are installed; main() installs
// them for help as well, before it prints it.
std::string translated(const char* text)
{
    return QCoreApplication::translate("StartOptions", text).toStdString();
}

std::string withWord(const char* text, const std::string& word)
{
    return QCoreApplication::translate("StartOptions", text).arg(QString::fromStdString(word)).toStdString();
}

const char* const kUnexpectedArgument =
    QT_TRANSLATE_NOOP("StartOptions", "stowmere: unexpected argument '%1'");

} // namespace

StartOptions::Action StartOptions::beforeQt(const std::vector<std::string>& arguments)
{
    for (const std::string& word : arguments) {
        if (word == "--")
            break;
        if (word == "-h" || word == "--help" || word == "-help")
            return Action::ShowHelp;
        if (word == "-v" || word == "--version")
            return Action::ShowVersion;
    }
    return Action::OpenWindow;
}

std::string StartOptions::leftOverError(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return {};
    // After "--" every word is an argument, however it looks.
    if (arguments.front() == "--")
        return arguments.size() > 1 ? withWord(kUnexpectedArgument, arguments[1]) : std::string();
    const std::string& first = arguments.front();
    if (first.size() > 1 && first.front() == '-')
        return withWord(QT_TRANSLATE_NOOP("StartOptions", "stowmere: unknown option '%1'"), first);
    return withWord(kUnexpectedArgument, first);
}

std::string StartOptions::usageLine()
{
    return translated(
        QT_TRANSLATE_NOOP("StartOptions", "Usage: stowmere [-h|--help] [-v|--version] [Qt options]"));
}

std::string StartOptions::helpText()
{
    return usageLine() + "\n\n" +
           translated(QT_TRANSLATE_NOOP(
               "StartOptions",
               "Opens the Stowmere window: backup sets, each with a description, a Backup To\n"
               "Folder and a list of files and folders to back up.\n"
               "\n"
               "Options:\n"
               "  -h, --help     show this help and exit\n"
               "  -v, --version  show the version and exit\n"
               "\n"
               "Qt's own options, such as -platform NAME or -style NAME, are accepted as well.\n"
               "The command line has its own program: 'stowmere-cli --help'.\n"));
}

std::string StartOptions::versionText()
{
    return std::string("stowmere ") + programVersion();
}

} // namespace stowmere::app

// SPDX-License-Identifier: GPL-3.0-or-later
// Help of the commands about what a backup keeps: its options, the versions of replaced
// copies, and restoring them.
#include "cli/HelpText.h"

#include "cli/HelpParts.h"

namespace stowmere::cli {
using help::kDataOption;
using help::kSetWord;

namespace {

constexpr const char* kAtOption =
    N_("  --at TIME      the tree as the last backup at or before TIME left it: the\n"
       "                 files there then, with their contents then. TIME is local\n"
       "                 time as YYYY-MM-DD (its start), YYYY-MM-DD HH:MM[:SS] or\n"
       "                 YYYY-MM-DDTHH:MM[:SS]; ISO 8601 with Z or an offset\n"
       "                 (2026-11-30T18:00:00+01:00); or a backup's UTC stamp\n"
       "                 YYYY-MM-DDTHHMMSSZ as 'versions' shows it\n");

constexpr const char* kMomentsText =
    N_("\n"
       "A moment comes back exactly while the backups after it are kept in\n"
       ".stowmere-versions (see --keep-versions and --keep-days of 'options'), and\n"
       "only from backups that keep versions. Backups made by versions of\n"
       "Stowmere before the record in .stowmere-runs existed tell what they\n"
       "replaced and removed, not what they added: files they added show at\n"
       "earlier moments too, and the command says so.\n");

} // namespace

std::string optionsHelpText()
{
    return std::string(_("Usage: stowmere-cli options SET [--exclude PATTERN]... [--no-exclude PATTERN]...\n"
                         "                            [--keep-versions N] [--keep-days N]\n"
                         "                            [--keep-daily N] [--keep-weekly N]\n"
                         "                            [--keep-monthly N]\n"
                         "                            [--cachedir-tag on|off] [--guard on|off]\n"
                         "                            [--mirror on|off] [--data DIR]\n"
                         "\n"
                         "Shows a backup set's options, after the changes given, one per line:\n"
                         "name, a tab, the value. They are kept in Options.cds beside the\n"
                         "backup sets.\n")) +
           _(kSetWord) +
           _("\n"
             "Exclusion patterns leave files and folders out of a backup: * and ?\n"
             "match within a name, ** any number of folders; a pattern ending in /\n"
             "matches folders only; a pattern with a / at its start or inside it is\n"
             "matched from the backed-up folder down, one without matches a name at\n"
             "any depth (as in a .gitignore).\n"
             "\n"
             "Options:\n"
             "  --exclude PATTERN      leave out what PATTERN matches\n"
             "  --no-exclude PATTERN   remove an exclusion pattern\n"
             "  --keep-versions N      keep the replaced copies of the last N backups in\n"
             "                         .stowmere-versions in the Backup To Folder\n"
             "                         (default 5; 0 keeps none)\n"
             "  --keep-days N          delete kept copies older than N days (default 0:\n"
             "                         no age limit)\n"
             "  --keep-daily N         also keep the newest backup's copies of each of\n"
             "                         the last N days that had a backup (default 0)\n"
             "  --keep-weekly N        the same for the last N weeks, Monday to Sunday\n"
             "                         (default 0)\n"
             "  --keep-monthly N       the same for the last N months (default 0)\n"
             "  --cachedir-tag on|off  leave out folders that hold a valid CACHEDIR.TAG\n"
             "                         (default on)\n"
             "  --guard on|off         stop a backup when the Backup To Folder lies on\n"
             "                         another drive than at the last backup (default on)\n"
             "  --mirror on|off        after a backup has read a checked folder to its end,\n"
             "                         move what its copy holds that the folder no longer\n"
             "                         does (files, links and folders removed or renamed)\n"
             "                         into the backup's folder in .stowmere-versions,\n"
             "                         never deleting it; left-out entries stay. A folder\n"
             "                         found empty, or more than half of a copy's files\n"
             "                         gone, moves nothing without --allow-mass-removal\n"
             "                         (default off)\n") +
           _(kDataOption);
}

std::string versionsHelpText()
{
    return std::string(_("Usage: stowmere-cli versions SET [PATH] [--at TIME] [--data DIR]\n"
                         "\n"
                         "Lists the copies that backups of a set replaced and kept, oldest first,\n"
                         "one line each: the backup that replaced it (UTC), the copy's\n"
                         "modification time, its size in bytes and its original path, separated\n"
                         "by tabs. With PATH, only the versions of that file or of the files in\n"
                         "that folder.\n"
                         "\n"
                         "With --at, lists instead every file, link and folder (a folder with a\n"
                         "/ at its end) as the last backup at or before TIME left them, in the\n"
                         "same columns; the first tells where the copy is now: the backup that\n"
                         "kept it, or \"current\".\n")) +
           _(kSetWord) + _("\nOptions:\n") + _(kAtOption) + _(kDataOption) + _(kMomentsText);
}

std::string restoreHelpText()
{
    return std::string(_("Usage: stowmere-cli restore SET PATH... [--to DIR] [--at TIME] [--overwrite]\n"
                         "                            [--data DIR]\n"
                         "\n"
                         "Copies files and folders back from a set's Backup To Folder, each PATH\n"
                         "given by its original path, to where it was or into DIR. Each copy\n"
                         "keeps its times and takes its name only when complete.\n")) +
           _(kSetWord) +
           _("\n"
             "Options:\n"
             "  --to DIR       restore into DIR instead of the original place\n"
             "  --overwrite    replace files that differ from the copy restored\n") +
           _(kAtOption) + _(kDataOption) + _(kMomentsText) +
           _("\n"
             "A file that is already there and differs from its copy is kept and\n"
             "listed, unless --overwrite is given. Exit codes: 0 restored, 1 some files\n"
             "were kept or not found, 2 a file could not be written, 3 nothing was done.\n");
}

} // namespace stowmere::cli

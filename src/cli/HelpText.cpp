// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/HelpText.h"

#include "cli/HelpParts.h"

namespace stowmere::cli {
using help::kDataOption;
using help::kSetWord;

std::string helpText(Command command)
{
    switch (command) {
    case Command::List:
        return std::string(_("Usage: stowmere-cli list [--json] [--data DIR]\n"
                             "\n"
                             "Lists the backup sets in the order the Stowmere window shows them,\n"
                             "one line each: number, description, Backup To Folder, the start of\n"
                             "the set's last run (UTC, ISO 8601; \"never\") and how it ended (ok,\n"
                             "warnings, failed, cancelled, refused; \"-\"), separated by tabs.\n"
                             "Dry runs are not counted.\n"
                             "\n"
                             "Options:\n"
                             "  --json         one JSON object a line: set, description,\n"
                             "                 destination, last_run (start and outcome, or null)\n")) +
               _(kDataOption);
    case Command::Paths:
        return std::string(_("Usage: stowmere-cli paths SET [--data DIR]\n"
                             "\n"
                             "Lists the files and folders of a backup set, one per line, in the\n"
                             "order the Stowmere window shows them.\n")) +
               _(kSetWord) + _("\nOptions:\n") + _(kDataOption);
    case Command::NewSet:
        return std::string(_("Usage: stowmere-cli new-set DESCRIPTION DEST [--data DIR]\n"
                             "\n"
                             "Adds a backup set named DESCRIPTION (at most 50 bytes) that backs up\n"
                             "into the folder DEST (at most 255 bytes). DEST is stored as typed and\n"
                             "need not exist yet; it must exist when a backup runs.\n"
                             "\n"
                             "Options:\n")) +
               _(kDataOption);
    case Command::AddPaths:
        return std::string(_("Usage: stowmere-cli add-paths SET PATH... [--data DIR]\n"
                             "\n"
                             "Adds existing files and folders to a backup set. Relative paths are\n"
                             "taken from the current folder and stored as full paths. Nothing is\n"
                             "added when any PATH is refused.\n")) +
               _(kSetWord) + _("\nOptions:\n") + _(kDataOption);
    case Command::RemovePaths:
        return std::string(_("Usage: stowmere-cli remove-paths SET PATH... [--data DIR]\n"
                             "\n"
                             "Removes files and folders from a backup set. A PATH that is not in\n"
                             "the set is reported and the others are still removed (exit code 1).\n")) +
               _(kSetWord) + _("\nOptions:\n") + _(kDataOption);
    case Command::DeleteSet:
        return std::string(_("Usage: stowmere-cli delete-set SET [--data DIR]\n"
                             "\n"
                             "Deletes a backup set. A set that still has files or folders cannot\n"
                             "be deleted: remove them first with 'stowmere-cli remove-paths'.\n")) +
               _(kSetWord) + _("\nOptions:\n") + _(kDataOption);
    case Command::Backup:
        return std::string(_("Usage: stowmere-cli backup SET [--incremental] [--only PATH...]\n"
                             "                           [--quiet] [--force] [--accept-new-drive]\n"
                             "                           [--allow-mass-removal]\n"
                             "                           [--dry-run] [--json] [--verbose]\n"
                             "                           [--notify always|failures|never] [--data DIR]\n"
                             "\n"
                             "Backs up every file and folder of a backup set into its Backup To\n"
                             "Folder: files go straight into it, folders with their whole tree into\n"
                             "a sub-folder named after them.\n")) +
               _(kSetWord) +
               _("\n"
                 "Options:\n"
                 "  --incremental  copy a file only when its backup copy is missing, of another\n"
                 "                 kind or size, or its time differs from the file's\n"
                 "  --only PATH... back up only these paths of the set\n"
                 "  --quiet        show no progress (failures are still shown)\n"
                 "  --force        start even when the copies do not fit the free space\n"
                 "  --accept-new-drive\n"
                 "                 back up although the Backup To Folder lies on another\n"
                 "                 drive than at the last backup\n"
                 "  --allow-mass-removal\n"
                 "                 with the set's mirror option on, move a copy's files\n"
                 "                 into versions even when its folder is empty or more\n"
                 "                 than half of them are gone from it (otherwise that\n"
                 "                 copy stays as it is, and the run says so)\n"
                 "  --dry-run      write nothing; list what a backup would do, one line each:\n"
                 "                 new, size, newer or older for a file (no copy yet, a\n"
                 "                 copy of another size, an older copy, a newer copy),\n"
                 "                 replace for a file a full backup copies again or for an\n"
                 "                 entry whose copy is of another kind (both named),\n"
                 "                 mkdir, link, fifo, device (a FIFO or device node made),\n"
                 "                 excluded (left out by a pattern or a cache tag),\n"
                 "                 missing, unreadable (a socket among them), remove (a\n"
                 "                 copy whose source is gone, with mirror on); then the\n"
                 "                 totals\n"
                 "  --json         on standard output, one JSON object a line: with\n"
                 "                 --dry-run each entry and the totals last; for a real\n"
                 "                 run each item reached (item), file copied (copy) and\n"
                 "                 message (message) as it happens, and a last summary\n"
                 "                 object: the run as 'history --json' keeps it, with\n"
                 "                 exit_code, items_done and items\n"
                 "  --verbose      list each file copied on standard output; with\n"
                 "                 --dry-run, list the up-to-date files as same\n"
                 "  --notify always|failures|never\n"
                 "                 when to show a desktop notification at the end: after\n"
                 "                 every run, after warnings or a failure (the default), or\n"
                 "                 never\n") +
               _(kDataOption) +
               _("\n"
                 "Before copying, the run counts what it will copy and stops (exit code 3)\n"
                 "when the copies need more space than the Backup To Folder has free.\n"
                 "Progress goes to standard error: a live line on a terminal (files and\n"
                 "bytes of the totals, the rate and the time left), plain lines\n"
                 "otherwise. Files that vanish or cannot be read during the run are listed\n"
                 "at the end, with the reason, and the run goes on without them. Links\n"
                 "inside a folder are copied as links. Ctrl-C stops the run within a\n"
                 "second, as does closing its terminal; the file being copied is abandoned\n"
                 "and its old copy kept.\n"
                 "\n"
                 "Every run, a dry run too, is added to the run history ('stowmere-cli\n"
                 "history').\n"
                 "A copy that differs from its source is moved into .stowmere-versions in\n"
                 "the Backup To Folder before it is replaced ('stowmere-cli versions' and\n"
                 "'restore'); what the set excludes is left out ('stowmere-cli options').\n"
                 "The first backup records the drive of the Backup To Folder; a later one\n"
                 "that finds it on another drive (a backup drive not mounted, say) stops\n"
                 "with exit code 3 before anything is copied.\n"
                 "Where a desktop session bus is reachable, a run that ends with warnings\n"
                 "or a failure shows a desktop notification: the set, what failed, and\n"
                 "that 'stowmere-cli history' has the details. Without a desktop nothing\n"
                 "is shown and the exit code is the same; with --notify always, standard\n"
                 "error says why no notification was shown. A dry run never notifies.\n"
                 "\n"
                 "Exit codes:\n"
                 "  0    everything was copied (or was already up to date)\n"
                 "  1    some items were not found, or some files or folders could not be\n"
                 "       read, and were not backed up\n"
                 "  2    the Backup To Folder could not be written (full, refused, a folder\n"
                 "       that cannot be made) and the run stopped\n"
                 "  3    the run could not start (missing Backup To Folder, empty list,\n"
                 "       the Backup To Folder on another drive than at the last backup,\n"
                 "       another backup or a restore of the same folder running, an item and\n"
                 "       the Backup To Folder inside each other, not enough free space\n"
                 "       without --force, bad arguments, unreadable data files)\n"
                 "  130  interrupted with Ctrl-C (129: its terminal closed, 143: stopped\n"
                 "       with SIGTERM); the run is recorded as cancelled\n");
    case Command::Dump:
        return _("Usage: stowmere-cli dump FILE\n"
                 "\n"
                 "Prints a Stowmere table file (such as Category.cds or Path.cds) in\n"
                 "readable form: header, columns with their types, attributes and\n"
                 "properties, table properties and rows. For a damaged file it prints\n"
                 "what it could read, then the result code and the byte offset where\n"
                 "reading stopped, and exits with code 3.\n");
    case Command::Schedule:
        return std::string(_("Usage: stowmere-cli schedule SET --daily HH:MM [--incremental] [--data DIR]\n"
                             "       stowmere-cli schedule SET --verify weekly|monthly [--data DIR]\n"
                             "       stowmere-cli schedule\n"
                             "\n"
                             "Backs up a set every day at HH:MM with a systemd user timer named\n"
                             "stowmere-backup-<tag>-<set number>, the tag telling data folders\n"
                             "apart, written to ~/.config/systemd/user. A run missed while the\n"
                             "computer was off or asleep starts when it is back. Runs go at a low\n"
                             "priority (nice 10, idle I/O), so they do not slow down your work.\n"
                             "Scheduling a set again changes its time. Without SET, lists the\n"
                             "scheduled backups: set number, description, time, kind of run,\n"
                             "whether the timer is enabled and the data folder, separated by tabs.\n"
                             "Where no systemd user manager runs, the unit files are still written\n"
                             "and the equivalent crontab line is shown. Runs log to the journal:\n"
                             "journalctl --user -u 'stowmere-backup-*'.\n"
                             "\n"
                             "With --verify, adds a second timer, stowmere-verify-<tag>-<set number>,\n"
                             "that runs 'stowmere-cli verify SET' every week (Monday) or month (the\n"
                             "first) at midnight, or when the computer is back; a damaged or missing\n"
                             "copy then shows a desktop notification naming the set and the count.\n"
                             "The list shows it with 'weekly' or 'monthly' and the kind 'verify'.\n")) +
               _(kSetWord) +
               _("\n"
                 "Options:\n"
                 "  --daily HH:MM  the time of day, 00:00 to 23:59\n"
                 "  --incremental  copy a file only when its backup copy is missing, of another\n"
                 "                 kind or size, or its time differs from the file's\n"
                 "  --verify weekly|monthly\n"
                 "                 verify the set's copies that often\n") +
               _(kDataOption);
    case Command::Unschedule:
        return std::string(_("Usage: stowmere-cli unschedule SET [--data DIR]\n"
                             "       stowmere-cli unschedule --all\n"
                             "\n"
                             "Stops and removes the timers of a set's scheduled backup and\n"
                             "verification. Deleting a set, with 'stowmere-cli delete-set' or in the\n"
                             "Stowmere window, removes its timers as well; a deleted set whose timer\n"
                             "stayed is named by its\n"
                             "number. With --all, removes every scheduled backup of every data\n"
                             "folder: run it before removing Stowmere, whose timers would otherwise\n"
                             "fail every day.\n")) +
               _(kSetWord) +
               _("\nOptions:\n"
                 "  --all          remove every scheduled backup\n") +
               _(kDataOption);
    case Command::History:
        return std::string(_("Usage: stowmere-cli history [SET] [--json] [--data DIR]\n"
                             "\n"
                             "Shows the runs of a backup set, or of every set of the data folder,\n"
                             "oldest first, from the window and the command line alike: one line\n"
                             "each with the start (UTC), set number, description, kind of run\n"
                             "(full, incremental, dry run), outcome (ok, warnings, failed,\n"
                             "cancelled, refused), files and bytes copied and, for a run that\n"
                             "failed or was refused, why; then indented lines for the items not\n"
                             "found and the files that failed. SET may also be the number of a\n"
                             "set deleted since. The history is kept in\n"
                             "$XDG_STATE_HOME/stowmere/history.jsonl (default ~/.local/state).\n")) +
               _(kSetWord) +
               _("\n"
                 "Options:\n"
                 "  --json         one JSON object a line, as the history keeps it\n") +
               _(kDataOption);
    case Command::Options:
        return optionsHelpText();
    case Command::Versions:
        return versionsHelpText();
    case Command::Restore:
        return restoreHelpText();
    case Command::TrustHost:
        return std::string(_("Usage: stowmere-cli trust-host SET [--yes] [--data DIR]\n"
                             "\n"
                             "Shows the key type and SHA256 fingerprint of the server that a set\n"
                             "backs up to (a Backup To Folder sftp://[user@]host[:port]/path) and,\n"
                             "when you answer yes, adds the key to ~/.ssh/known_hosts, so that\n"
                             "backups to it can run. A key that differs from the one known is\n"
                             "never replaced (remove it with ssh-keygen -R HOST if the change is\n"
                             "expected). Logins use the keys of ssh-agent or ~/.ssh; passwords are\n"
                             "never used or stored.\n")) +
               _(kSetWord) +
               _("\n"
                 "Options:\n"
                 "  --yes          trust the key without asking (check the fingerprint first)\n") +
               _(kDataOption);
    case Command::Verify:
        return std::string(_("Usage: stowmere-cli verify SET [--against-source] [--json]\n"
                             "                           [--notify always|failures|never] [--data DIR]\n"
                             "\n"
                             "Reads every backup copy of a set's files and folders and compares it\n"
                             "with the manifest that backups keep in the Backup To Folder\n"
                             "(.stowmere-manifest: an XXH3-128 hash, the size and the time of each\n"
                             "copy, as 'xxhsum -H2' prints the hash). Only the Backup To Folder is\n"
                             "read, so a backup drive can be verified on another computer. Each\n"
                             "problem is a line on standard output: what was found, the copy and\n"
                             "what differs, separated by tabs:\n"
                             "  damaged         the content differs while size and time match:\n"
                             "                  the drive let it rot, or someone changed it\n"
                             "  missing         recorded, but not there\n"
                             "  changed outside its size or time differ from the record\n"
                             "  unrecorded      a copy without a record: hashed and recorded now\n"
                             "  unreadable      the copy or its folder cannot be read\n"
                             "  differs from source\n"
                             "                  with --against-source: the source has the copy's\n"
                             "                  size and time, yet other content\n"
                             "  damaged manifest\n"
                             "                  a line of the manifest cannot be read (where);\n"
                             "                  the rest is checked all the same\n"
                             "A summary follows on standard error. The verification is added to\n"
                             "the run history (kind verify), and marks what it found damaged or\n"
                             "missing in the manifest.\n")) +
               _(kSetWord) +
               _("\n"
                 "Options:\n"
                 "  --against-source\n"
                 "                 also compare each copy with its source where the source\n"
                 "                 still has the copy's size and time: finds copies that were\n"
                 "                 wrong from the start\n"
                 "  --json         one JSON object a line: each problem (problem), each damaged\n"
                 "                 place of the manifest (manifest), then the summary: the\n"
                 "                 verification as 'history --json' keeps it, with exit_code\n"
                 "  --notify always|failures|never\n"
                 "                 when to show a desktop notification: after every\n"
                 "                 verification, when copies are damaged or missing (the\n"
                 "                 default), or never\n") +
               _(kDataOption) +
               _("\n"
                 "Exit codes:\n"
                 "  0    every copy matches its record\n"
                 "  1    copies are damaged, missing, changed or unreadable, or the manifest\n"
                 "       is damaged\n"
                 "  2    the Backup To Folder cannot be read, or a backup into it is running\n"
                 "  3    nothing could be checked: no copy has a record yet (bad arguments and\n"
                 "       unusable data files give 3 as well)\n"
                 "  130  interrupted with Ctrl-C (129, 143 as for backup)\n");
    case Command::None:
    case Command::Help:
        break;
    }
    return std::string(_("Usage: stowmere-cli COMMAND [ARGUMENTS] [--data DIR]\n"
                         "\n"
                         "Works with the backup sets of Stowmere without opening its window,\n"
                         "for scheduled backups and scripts.\n"
                         "\n"
                         "Commands:\n"
                         "  list                         list the backup sets\n"
                         "  paths SET                    list the files and folders of a set\n"
                         "  new-set DESCRIPTION DEST     add a backup set\n"
                         "  add-paths SET PATH...        add files and folders to a set\n"
                         "  remove-paths SET PATH...     remove files and folders from a set\n"
                         "  delete-set SET               delete a backup set that has no paths\n"
                         "  backup SET [--incremental] [--only PATH...] [--quiet] [--dry-run]\n"
                         "                               back up a set\n"
                         "  schedule SET --daily HH:MM [--incremental]\n"
                         "                               back up a set every day\n"
                         "  schedule SET --verify weekly|monthly\n"
                         "                               verify a set's copies every week or month\n"
                         "  schedule                     list the scheduled backups\n"
                         "  unschedule SET | --all       remove a set's scheduled backup, or all\n"
                         "  history [SET]                show the runs of a set or of every set\n"
                         "  options SET [--exclude PATTERN]... [--keep-versions N] ...\n"
                         "                               show or change a set's options\n"
                         "  versions SET [PATH] [--at TIME]\n"
                         "                               list the copies backups replaced and kept,\n"
                         "                               or the tree at a moment\n"
                         "  restore SET PATH... [--to DIR] [--at TIME] [--overwrite]\n"
                         "                               copy files and folders back, as at a moment\n"
                         "  trust-host SET [--yes]       accept the SSH host key of a set's server\n"
                         "  verify SET [--against-source] [--json]\n"
                         "                               check every copy against the manifest\n"
                         "  dump FILE                    print a table file in readable form\n"
                         "  help [COMMAND]               show this text or a command's help\n"
                         "\n")) +
           _(kSetWord) +
           _("\n"
             "Options:\n"
             "  -h, --help     show help (after a command: that command's help)\n"
             "  --version      show the version\n") +
           _(kDataOption) +
           _("\n"
             "Exit codes: 0 done; 1 some items were not found or could not be read;\n"
             "2 the backup folder could not be written;\n"
             "3 nothing was done (bad arguments, refused input, unusable data files);\n"
             "130 interrupted. 'stowmere-cli backup --help' tells more.\n");
}

} // namespace stowmere::cli

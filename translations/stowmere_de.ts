<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CylinderProgressBar</name>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>FolderEdit</name>
    <message>
        <source>Browse for a folder</source>
        <translation>Ordner auswählen</translation>
    </message>
</context>
<context>
    <name>HistoryDialog</name>
    <message>
        <source>Started</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Ended</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Nicht gefunden</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>Backup To Folder: %1</source>
        <translation>Zielordner: %1</translation>
    </message>
    <message>
        <source>Note: %1</source>
        <translation>Hinweis: %1</translation>
    </message>
    <message>
        <source>Not found: %1</source>
        <translation>Nicht gefunden: %1</translation>
    </message>
    <message>
        <source>Failed: %1: %2</source>
        <translation>Fehlgeschlagen: %1: %2</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>Backup History</source>
        <translation>Sicherungsverlauf</translation>
    </message>
    <message>
        <source>&quot;%1&quot; has no recorded runs yet.</source>
        <translation>„%1“ wurde noch nie gesichert.</translation>
    </message>
    <message>
        <source>Runs of &quot;%1&quot;, newest first: %2</source>
        <translation>Sicherungen von „%1“, neueste zuerst: %2</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Notes of the run started %1:</source>
        <translation>Hinweise zur Sicherung vom %1:</translation>
    </message>
    <message>
        <source>full</source>
        <translation>vollständig</translation>
    </message>
    <message>
        <source>incremental</source>
        <translation>inkrementell</translation>
    </message>
    <message>
        <source>dry run</source>
        <translation>Probelauf</translation>
    </message>
    <message>
        <source>verify</source>
        <translation>Prüfung</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>in Ordnung</translation>
    </message>
    <message>
        <source>warnings</source>
        <translation>Warnungen</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>abgelehnt</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>This is a short help tutorial.

- To backup, create a Backup Name, add files and folders to the list,
   then select by checking the files and folders that need to be backed-up,
   and then click the Backup button.

- The Incremental Backup checkbox lets you backup modified files only.

- The Add Folder button adds a new folder to the list for backup.

- The Add Files button adds new files to the list for backup.

- The Delete button is for deleting checked item(s).

- The Backup button copies all files and folders in the list
   to the Backup To Folder selected in Backup Information.

- The Tools button (or a right-click on a Backup or an item) offers
   Preview Backup, Backup History, Backup Options and Restore
   for the highlighted Backup.</source>
        <translation>Eine kurze Anleitung.

- Für eine Sicherung legen Sie einen Sicherungssatz an, fügen Dateien und Ordner zur Liste hinzu,
   haken die Dateien und Ordner an, die gesichert werden sollen,
   und klicken dann auf „Sichern“.

- Mit „Inkrementelle Sicherung“ werden nur geänderte Dateien gesichert.

- „Ordner hinzufügen“ nimmt einen weiteren Ordner in die Liste auf.

- „Dateien hinzufügen“ nimmt weitere Dateien in die Liste auf.

- „Entfernen“ nimmt die angehakten Einträge aus der Liste.

- „Sichern“ kopiert alle Dateien und Ordner der Liste
   in den Zielordner, der in den Angaben zur Sicherung gewählt ist.

- „Werkzeuge“ (oder ein Rechtsklick auf einen Sicherungssatz oder einen Eintrag) bietet
   Vorschau, Sicherungsverlauf, Sicherungsoptionen und Wiederherstellung
   für den markierten Sicherungssatz.</translation>
    </message>
    <message>
        <source>Double-click to edit Backup Information</source>
        <translation>Doppelklick bearbeitet die Angaben zur Sicherung</translation>
    </message>
    <message>
        <source>

Compare the fingerprint with the one the server&apos;s owner gives you. Trust this key and add it to ~/.ssh/known_hosts?</source>
        <translation>

Vergleichen Sie den Fingerabdruck mit dem, den Ihnen der Betreiber des Servers nennt. Diesem Schlüssel vertrauen und ihn in ~/.ssh/known_hosts aufnehmen?</translation>
    </message>
    <message>
        <source>The passphrase was not accepted. Passphrase of the key:</source>
        <translation>Die Passphrase wurde nicht angenommen. Passphrase des Schlüssels:</translation>
    </message>
    <message>
        <source>Passphrase of the key %1:</source>
        <translation>Passphrase des Schlüssels %1:</translation>
    </message>
    <message>
        <source>Backup Name</source>
        <translation>Sicherungssatz</translation>
    </message>
    <message>
        <source>Add &amp;Folder</source>
        <translation>&amp;Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Add F&amp;iles</source>
        <translation>&amp;Dateien hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation>&amp;Sichern</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Neu</translation>
    </message>
    <message>
        <source>Add Backup</source>
        <translation>Sicherungssatz anlegen</translation>
    </message>
    <message>
        <source>D&amp;elete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Delete Backup</source>
        <translation>Sicherungssatz löschen</translation>
    </message>
    <message>
        <source>&amp;Tools ▾</source>
        <translation>&amp;Werkzeuge ▾</translation>
    </message>
    <message>
        <source>Preview, history, options and restore of the highlighted Backup</source>
        <translation>Vorschau, Verlauf, Optionen und Wiederherstellung des markierten Sicherungssatzes</translation>
    </message>
    <message>
        <source>&amp;Select All</source>
        <translation>&amp;Alle auswählen</translation>
    </message>
    <message>
        <source>I&amp;ncremental Backup</source>
        <translation>&amp;Inkrementelle Sicherung</translation>
    </message>
    <message>
        <source>Short Help Tutorial...</source>
        <translation>Kurze Anleitung...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Preview Backup...</source>
        <translation>&amp;Vorschau der Sicherung...</translation>
    </message>
    <message>
        <source>Backup &amp;History...</source>
        <translation>&amp;Sicherungsverlauf...</translation>
    </message>
    <message>
        <source>Backup &amp;Options...</source>
        <translation>Sicherungs&amp;optionen...</translation>
    </message>
    <message>
        <source>&amp;Restore...</source>
        <translation>&amp;Wiederherstellen...</translation>
    </message>
    <message>
        <source>&amp;Verify Backup...</source>
        <translation>Sicherung &amp;prüfen...</translation>
    </message>
    <message>
        <source>Edit Backup</source>
        <translation>Sicherungssatz bearbeiten</translation>
    </message>
    <message>
        <source>New Backup</source>
        <translation>Neuer Sicherungssatz</translation>
    </message>
    <message>
        <source>

The backup itself is not affected; its runs are not recorded until the history can be written.</source>
        <translation>

Die Sicherung selbst ist davon nicht betroffen; ihre Läufe werden erst wieder aufgezeichnet, wenn der Verlauf geschrieben werden kann.</translation>
    </message>
    <message>
        <source>Last backup: never</source>
        <translation>Letzte Sicherung: nie</translation>
    </message>
    <message>
        <source>&amp;Restore &quot;%1&quot;...</source>
        <translation>&amp;Wiederherstellen: „%1“...</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message>
        <source>Restore cancelled: %1 restored to %2.</source>
        <translation>Wiederherstellung abgebrochen: %1 nach %2 wiederhergestellt.</translation>
    </message>
    <message>
        <source>%1 restored to %2.</source>
        <translation>%1 nach %2 wiederhergestellt.</translation>
    </message>
    <message>
        <source>%1 already there as in the backup.</source>
        <translation>%1 bereits wie in der Sicherung vorhanden.</translation>
    </message>
    <message>
        <source>No current copy of %1: restored the newest kept version, from %2.</source>
        <translation>Keine aktuelle Kopie von %1: die neueste aufbewahrte Version von %2 wurde wiederhergestellt.</translation>
    </message>
    <message>
        <source>Files already there that differ were left as they are:</source>
        <translation>Bereits vorhandene, abweichende Dateien wurden nicht verändert:</translation>
    </message>
    <message>
        <source>Copies that could not be read:</source>
        <translation>Kopien, die nicht gelesen werden konnten:</translation>
    </message>
    <message numerus="yes">
        <source>The folder %1 is empty, while its copy holds %n file(s).</source>
        <translation>
            <numerusform>Der Ordner %1 ist leer, seine Kopie enthält aber %n Datei.</numerusform>
            <numerusform>Der Ordner %1 ist leer, seine Kopie enthält aber %n Dateien.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of the %1 files of the copy of %2 are no longer in the folder.</source>
        <translation>
            <numerusform>%n der %1 Dateien der Kopie von %2 ist nicht mehr im Ordner.</numerusform>
            <numerusform>%n der %1 Dateien der Kopie von %2 sind nicht mehr im Ordner.</numerusform>
        </translation>
    </message>
    <message>
        <source>
A disk not plugged in or a folder emptied by mistake looks the same. Move them into versions all the same?</source>
        <translation>
Ein nicht angeschlossenes Laufwerk oder ein versehentlich geleerter Ordner sieht genauso aus. Trotzdem in die Versionen verschieben?</translation>
    </message>
    <message>
        <source>Verifying Backup...</source>
        <translation>Sicherung wird geprüft...</translation>
    </message>
    <message>
        <source>Files read:</source>
        <translation>Gelesene Dateien:</translation>
    </message>
    <message>
        <source>Files and Folders</source>
        <translation>Dateien und Ordner</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Werkzeuge</translation>
    </message>
</context>
<context>
    <name>MomentModel</name>
    <message>
        <source>Could not read %1: %2</source>
        <translation>%1 konnte nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1
Kept by the backup of %2</source>
        <translation>%1
Aufbewahrt von der Sicherung vom %2</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
</context>
<context>
    <name>OptionsDialog</name>
    <message>
        <source>Backup Options</source>
        <translation>Sicherungsoptionen</translation>
    </message>
    <message>
        <source>Options of &quot;%1&quot;</source>
        <translation>Optionen von „%1“</translation>
    </message>
    <message>
        <source>One pattern a line: * and ? within a name, ** for any folders, a trailing / for folders only, a leading / from the item on</source>
        <translation>Ein Muster je Zeile: * und ? innerhalb eines Namens, ** für beliebige Ordner, ein / am Ende nur für Ordner, ein / am Anfang ab dem Eintrag</translation>
    </message>
    <message>
        <source>&amp;Leave out:</source>
        <translation>Aus&amp;lassen:</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
    <message>
        <source>&amp;Versions to keep:</source>
        <translation>Aufzubewahrende &amp;Versionen:</translation>
    </message>
    <message>
        <source>no limit</source>
        <translation>unbegrenzt</translation>
    </message>
    <message>
        <source>&amp;Days to keep:</source>
        <translation>Aufbewahrungs&amp;tage:</translation>
    </message>
    <message>
        <source>Leave out folders that hold a CACHEDIR.&amp;TAG</source>
        <translation>Ordner mit einer &amp;CACHEDIR.TAG auslassen</translation>
    </message>
    <message>
        <source>&amp;Ask before a backup to a different drive than the last one</source>
        <translation>&amp;Nachfragen, bevor auf ein anderes Laufwerk als zuletzt gesichert wird</translation>
    </message>
    <message>
        <source>&amp;Move what was removed from a folder out of its copy, into versions</source>
        <translation>Aus einem Ordner &amp;Entferntes aus seiner Kopie in die Versionen verschieben</translation>
    </message>
    <message>
        <source>Files and folders removed or renamed since the last backup go into .stowmere-versions of the Backup To Folder, kept as long as versions are; a folder found empty asks first.</source>
        <translation>Seit der letzten Sicherung entfernte oder umbenannte Dateien und Ordner kommen nach .stowmere-versions im Zielordner und werden so lange wie Versionen aufbewahrt; bei einem leer vorgefundenen Ordner wird zuerst nachgefragt.</translation>
    </message>
    <message>
        <source>Drive of the last backup:</source>
        <translation>Laufwerk der letzten Sicherung:</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>not recorded yet</source>
        <translation>noch nicht erfasst</translation>
    </message>
    <message>
        <source>a server folder</source>
        <translation>ein Ordner auf einem Server</translation>
    </message>
    <message>
        <source>Host key %1</source>
        <translation>Serverschlüssel %1</translation>
    </message>
    <message>
        <source>a drive that is not connected now</source>
        <translation>ein derzeit nicht angeschlossenes Laufwerk</translation>
    </message>
    <message>
        <source>UUID %1</source>
        <translation>UUID %1</translation>
    </message>
    <message>
        <source> (label &quot;%1&quot;)</source>
        <translation> (Bezeichnung „%1“)</translation>
    </message>
</context>
<context>
    <name>PreviewDialog</name>
    <message>
        <source>Preview Backup</source>
        <translation>Vorschau der Sicherung</translation>
    </message>
    <message>
        <source>What a backup of &quot;%1&quot; would do</source>
        <translation>Was eine Sicherung von „%1“ tun würde</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation>Wird abgebrochen...</translation>
    </message>
    <message numerus="yes">
        <source>Scanning... %n entry(ies) so far</source>
        <translation>
            <numerusform>Durchsuchen... bisher %n Eintrag</numerusform>
            <numerusform>Durchsuchen... bisher %n Einträge</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>The preview could not start.</source>
        <translation>Die Vorschau konnte nicht beginnen.</translation>
    </message>
    <message>
        <source>A backup would copy %1 (%2) and create %3.</source>
        <translation>Eine Sicherung würde %1 (%2) kopieren und %3 anlegen.</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n Datei</numerusform>
            <numerusform>%n Dateien</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n Ordner</numerusform>
            <numerusform>%n Ordner</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) left out.</source>
        <translation>
            <numerusform>%n Datei oder Ordner wird ausgelassen.</numerusform>
            <numerusform>%n Dateien oder Ordner werden ausgelassen.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) up to date.</source>
        <translation>
            <numerusform>%n Datei ist aktuell.</numerusform>
            <numerusform>%n Dateien sind aktuell.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n copy(ies) whose source(s) are gone would move into versions.</source>
        <translation>
            <numerusform>%n Kopie, deren Quelle fehlt, käme in die Versionen.</numerusform>
            <numerusform>%n Kopien, deren Quellen fehlen, kämen in die Versionen.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) not found.</source>
        <translation>
            <numerusform>%n Eintrag nicht gefunden.</numerusform>
            <numerusform>%n Einträge nicht gefunden.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) could not be read.</source>
        <translation>
            <numerusform>%n Datei oder Ordner konnte nicht gelesen werden.</numerusform>
            <numerusform>%n Dateien oder Ordner konnten nicht gelesen werden.</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancelled. So far: %1</source>
        <translation>Abgebrochen. Bis dahin: %1</translation>
    </message>
</context>
<context>
    <name>PreviewModel</name>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
</context>
<context>
    <name>ProgressTitle</name>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Progress - %1</source>
        <translation>Fortschritt - %1</translation>
    </message>
</context>
<context>
    <name>ProgressWindow</name>
    <message>
        <source>Backup in Progress...</source>
        <translation>Sicherung läuft...</translation>
    </message>
    <message>
        <source>Finalizing...</source>
        <translation>Wird abgeschlossen...</translation>
    </message>
    <message>
        <source>Files copied:</source>
        <translation>Kopierte Dateien:</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Backup Complete</source>
        <translation>Sicherung abgeschlossen</translation>
    </message>
    <message>
        <source>Stop Backup</source>
        <translation>Sicherung anhalten</translation>
    </message>
</context>
<context>
    <name>RestoreDialog</name>
    <message>
        <source>Restore</source>
        <translation>Wiederherstellung</translation>
    </message>
    <message>
        <source>Restore from the backup of &quot;%1&quot;</source>
        <translation>Wiederherstellung aus der Sicherung von „%1“</translation>
    </message>
    <message>
        <source>&amp;Backed up at:</source>
        <translation>&amp;Gesichert am:</translation>
    </message>
    <message>
        <source>Find every kept version of a file by its name</source>
        <translation>Alle aufbewahrten Versionen einer Datei nach ihrem Namen suchen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Until</source>
        <translation>Bis</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>The backup that replaced or removed this version: it is the file as it was before that backup</source>
        <translation>Die Sicherung, die diese Version ersetzt oder entfernt hat: Sie ist die Datei, wie sie vor dieser Sicherung war</translation>
    </message>
    <message>
        <source>To the &amp;original places</source>
        <translation>An die &amp;ursprünglichen Orte</translation>
    </message>
    <message>
        <source>Into this &amp;folder:</source>
        <translation>In &amp;diesen Ordner:</translation>
    </message>
    <message>
        <source>&amp;Replace files that differ</source>
        <translation>Abweichende Dateien &amp;ersetzen</translation>
    </message>
    <message>
        <source>Bro&amp;wse...</source>
        <translation>Du&amp;rchsuchen...</translation>
    </message>
    <message>
        <source>Res&amp;tore</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Latest backup</source>
        <translation>Letzte Sicherung</translation>
    </message>
    <message>
        <source>%1 (latest)</source>
        <translation>%1 (letzte)</translation>
    </message>
    <message>
        <source>No kept version of a file named like &quot;%1&quot;.</source>
        <translation>Keine aufbewahrte Version einer Datei mit einem Namen wie „%1“.</translation>
    </message>
    <message>
        <source>their original places</source>
        <translation>ihre ursprünglichen Orte</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>Der Ordner %1 existiert nicht.</translation>
    </message>
</context>
<context>
    <name>SetEditorDialog</name>
    <message>
        <source>Add / Edit Backup</source>
        <translation>Sicherungssatz anlegen / bearbeiten</translation>
    </message>
    <message>
        <source>Backup Information</source>
        <translation>Angaben zur Sicherung</translation>
    </message>
    <message>
        <source>Backup &amp;Description</source>
        <translation>&amp;Beschreibung</translation>
    </message>
    <message>
        <source>Backup &amp;To Folder</source>
        <translation>&amp;Zielordner</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>ShownValues</name>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 KB</translation>
    </message>
    <message>
        <source>%1 Bytes</source>
        <translation>%1 Bytes</translation>
    </message>
</context>
<context>
    <name>StartOptions</name>
    <message>
        <source>stowmere: unexpected argument &apos;%1&apos;</source>
        <translation>stowmere: unerwartetes Argument „%1“</translation>
    </message>
    <message>
        <source>stowmere: unknown option &apos;%1&apos;</source>
        <translation>stowmere: unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>Usage: stowmere [-h|--help] [-v|--version] [Qt options]</source>
        <translation>Aufruf: stowmere [-h|--help] [-v|--version] [Qt-Optionen]</translation>
    </message>
    <message>
        <source>Opens the Stowmere window: backup sets, each with a description, a Backup To
Folder and a list of files and folders to back up.

Options:
  -h, --help     show this help and exit
  -v, --version  show the version and exit

Qt&apos;s own options, such as -platform NAME or -style NAME, are accepted as well.
The command line has its own program: &apos;stowmere-cli --help&apos;.
</source>
        <translation>Öffnet das Fenster von Stowmere: Sicherungssätze, jeder mit einer Beschreibung,
einem Zielordner und einer Liste der zu sichernden Dateien und Ordner.

Optionen:
  -h, --help     diese Hilfe zeigen und beenden
  -v, --version  die Version zeigen und beenden

Die Optionen von Qt selbst, etwa -platform NAME oder -style NAME, werden
ebenfalls angenommen.
Die Befehlszeile hat ein eigenes Programm: „stowmere-cli --help“.
</translation>
    </message>
</context>
<context>
    <name>StowmereApplication</name>
    <message>
        <source>Unexpected error</source>
        <translation>Unerwarteter Fehler</translation>
    </message>
</context>
</TS>

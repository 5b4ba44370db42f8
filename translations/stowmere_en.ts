<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The folder %1 is empty, while its copy holds %n file(s).</source>
        <translation>
            <numerusform>The folder %1 is empty, while its copy holds %n file.</numerusform>
            <numerusform>The folder %1 is empty, while its copy holds %n files.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of the %1 files of the copy of %2 are no longer in the folder.</source>
        <translation>
            <numerusform>%n of the %1 files of the copy of %2 are no longer in the folder.</numerusform>
            <numerusform>%n of the %1 files of the copy of %2 are no longer in the folder.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PreviewDialog</name>
    <message numerus="yes">
        <source>Scanning... %n entry(ies) so far</source>
        <translation>
            <numerusform>Scanning... %n entry so far</numerusform>
            <numerusform>Scanning... %n entries so far</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n file</numerusform>
            <numerusform>%n files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n folder</numerusform>
            <numerusform>%n folders</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) left out.</source>
        <translation>
            <numerusform>%n file or folder is left out.</numerusform>
            <numerusform>%n files or folders are left out.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) up to date.</source>
        <translation>
            <numerusform>%n file is up to date.</numerusform>
            <numerusform>%n files are up to date.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n copy(ies) whose source(s) are gone would move into versions.</source>
        <translation>
            <numerusform>%n copy whose source is gone would move into versions.</numerusform>
            <numerusform>%n copies whose sources are gone would move into versions.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) not found.</source>
        <translation>
            <numerusform>%n item not found.</numerusform>
            <numerusform>%n items not found.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) could not be read.</source>
        <translation>
            <numerusform>%n file or folder could not be read.</numerusform>
            <numerusform>%n files or folders could not be read.</numerusform>
        </translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>CylinderProgressBar</name>
    <message>
        <source>Done</source>
        <translation>Terminé</translation>
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
        <translation>Avertissement</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirmation</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Oui</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Non</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Tous les fichiers (*)</translation>
    </message>
</context>
<context>
    <name>FolderEdit</name>
    <message>
        <source>Browse for a folder</source>
        <translation>Choisir un dossier</translation>
    </message>
</context>
<context>
    <name>HistoryDialog</name>
    <message>
        <source>Started</source>
        <translation>Début</translation>
    </message>
    <message>
        <source>Ended</source>
        <translation>Fin</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Résultat</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Fichiers</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Introuvables</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Échecs</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Motif</translation>
    </message>
    <message>
        <source>Backup To Folder: %1</source>
        <translation>Dossier de destination&#xa0;: %1</translation>
    </message>
    <message>
        <source>Note: %1</source>
        <translation>Remarque&#xa0;: %1</translation>
    </message>
    <message>
        <source>Not found: %1</source>
        <translation>Introuvable&#xa0;: %1</translation>
    </message>
    <message>
        <source>Failed: %1: %2</source>
        <translation>Échec&#xa0;: %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... et %1 de plus</translation>
    </message>
    <message>
        <source>Backup History</source>
        <translation>Historique des sauvegardes</translation>
    </message>
    <message>
        <source>&quot;%1&quot; has no recorded runs yet.</source>
        <translation>«&#xa0;%1&#xa0;» n’a encore aucune sauvegarde enregistrée.</translation>
    </message>
    <message>
        <source>Runs of &quot;%1&quot;, newest first: %2</source>
        <translation>Sauvegardes de «&#xa0;%1&#xa0;», les plus récentes d’abord&#xa0;: %2</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Fermer</translation>
    </message>
    <message>
        <source>Notes of the run started %1:</source>
        <translation>Remarques sur la sauvegarde commencée le %1&#xa0;:</translation>
    </message>
    <message>
        <source>full</source>
        <translation>complète</translation>
    </message>
    <message>
        <source>incremental</source>
        <translation>incrémentielle</translation>
    </message>
    <message>
        <source>dry run</source>
        <translation>simulation</translation>
    </message>
    <message>
        <source>verify</source>
        <translation>vérification</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>réussie</translation>
    </message>
    <message>
        <source>warnings</source>
        <translation>avertissements</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>échouée</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>annulée</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>refusée</translation>
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
        <translation>Ceci est un court tutoriel.

- Pour sauvegarder, créez un jeu de sauvegarde, ajoutez des fichiers et des dossiers à la liste,
   cochez les fichiers et dossiers à sauvegarder,
   puis cliquez sur «&#xa0;Sauvegarder&#xa0;».

- La case «&#xa0;Sauvegarde incrémentielle&#xa0;» ne sauvegarde que les fichiers modifiés.

- Le bouton «&#xa0;Ajouter un dossier&#xa0;» ajoute un dossier à la liste.

- Le bouton «&#xa0;Ajouter des fichiers&#xa0;» ajoute des fichiers à la liste.

- Le bouton «&#xa0;Retirer&#xa0;» enlève de la liste les éléments cochés.

- Le bouton «&#xa0;Sauvegarder&#xa0;» copie tous les fichiers et dossiers de la liste
   dans le dossier de destination choisi dans les informations de sauvegarde.

- Le bouton «&#xa0;Outils&#xa0;» (ou un clic droit sur un jeu de sauvegarde ou un élément) propose
   l’aperçu, l’historique, les options et la restauration
   du jeu de sauvegarde sélectionné.</translation>
    </message>
    <message>
        <source>Double-click to edit Backup Information</source>
        <translation>Double-cliquez pour modifier les informations de sauvegarde</translation>
    </message>
    <message>
        <source>

Compare the fingerprint with the one the server&apos;s owner gives you. Trust this key and add it to ~/.ssh/known_hosts?</source>
        <translation>

Comparez cette empreinte avec celle que vous donne l’administrateur du serveur. Faire confiance à cette clé et l’ajouter à ~/.ssh/known_hosts&#x202f;?</translation>
    </message>
    <message>
        <source>The passphrase was not accepted. Passphrase of the key:</source>
        <translation>La phrase secrète a été refusée. Phrase secrète de la clé&#xa0;:</translation>
    </message>
    <message>
        <source>Passphrase of the key %1:</source>
        <translation>Phrase secrète de la clé %1&#xa0;:</translation>
    </message>
    <message>
        <source>Backup Name</source>
        <translation>Jeu de sauvegarde</translation>
    </message>
    <message>
        <source>Add &amp;Folder</source>
        <translation>Ajouter un &amp;dossier</translation>
    </message>
    <message>
        <source>Add F&amp;iles</source>
        <translation>Ajouter des &amp;fichiers</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Retirer</translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation>&amp;Sauvegarder</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Nouveau</translation>
    </message>
    <message>
        <source>Add Backup</source>
        <translation>Créer un jeu de sauvegarde</translation>
    </message>
    <message>
        <source>D&amp;elete</source>
        <translation>Su&amp;pprimer</translation>
    </message>
    <message>
        <source>Delete Backup</source>
        <translation>Supprimer le jeu de sauvegarde</translation>
    </message>
    <message>
        <source>&amp;Tools ▾</source>
        <translation>&amp;Outils ▾</translation>
    </message>
    <message>
        <source>Preview, history, options and restore of the highlighted Backup</source>
        <translation>Aperçu, historique, options et restauration du jeu de sauvegarde sélectionné</translation>
    </message>
    <message>
        <source>&amp;Select All</source>
        <translation>&amp;Tout cocher</translation>
    </message>
    <message>
        <source>I&amp;ncremental Backup</source>
        <translation>Sauvegarde &amp;incrémentielle</translation>
    </message>
    <message>
        <source>Short Help Tutorial...</source>
        <translation>Court tutoriel...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>&amp;Preview Backup...</source>
        <translation>&amp;Aperçu de la sauvegarde...</translation>
    </message>
    <message>
        <source>Backup &amp;History...</source>
        <translation>&amp;Historique des sauvegardes...</translation>
    </message>
    <message>
        <source>Backup &amp;Options...</source>
        <translation>O&amp;ptions de sauvegarde...</translation>
    </message>
    <message>
        <source>&amp;Restore...</source>
        <translation>&amp;Restaurer...</translation>
    </message>
    <message>
        <source>&amp;Verify Backup...</source>
        <translation>&amp;Vérifier la sauvegarde...</translation>
    </message>
    <message>
        <source>Edit Backup</source>
        <translation>Modifier le jeu de sauvegarde</translation>
    </message>
    <message>
        <source>New Backup</source>
        <translation>Nouveau jeu de sauvegarde</translation>
    </message>
    <message>
        <source>

The backup itself is not affected; its runs are not recorded until the history can be written.</source>
        <translation>

La sauvegarde elle-même n’est pas touchée&#x202f;; ses exécutions ne sont plus enregistrées tant que l’historique ne peut pas être écrit.</translation>
    </message>
    <message>
        <source>Last backup: never</source>
        <translation>Dernière sauvegarde&#xa0;: jamais</translation>
    </message>
    <message>
        <source>&amp;Restore &quot;%1&quot;...</source>
        <translation>&amp;Restaurer «&#xa0;%1&#xa0;»...</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progression</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n fichier</numerusform>
            <numerusform>%n fichiers</numerusform>
        </translation>
    </message>
    <message>
        <source>Restore cancelled: %1 restored to %2.</source>
        <translation>Restauration annulée&#xa0;: %1 restauré(s) vers %2.</translation>
    </message>
    <message>
        <source>%1 restored to %2.</source>
        <translation>%1 restauré(s) vers %2.</translation>
    </message>
    <message>
        <source>%1 already there as in the backup.</source>
        <translation>%1 déjà présent(s) comme dans la sauvegarde.</translation>
    </message>
    <message>
        <source>No current copy of %1: restored the newest kept version, from %2.</source>
        <translation>Aucune copie actuelle de %1&#xa0;: la version conservée la plus récente, du %2, a été restaurée.</translation>
    </message>
    <message>
        <source>Files already there that differ were left as they are:</source>
        <translation>Les fichiers déjà présents qui diffèrent ont été laissés tels quels&#xa0;:</translation>
    </message>
    <message>
        <source>Copies that could not be read:</source>
        <translation>Copies qui n’ont pas pu être lues&#xa0;:</translation>
    </message>
    <message numerus="yes">
        <source>The folder %1 is empty, while its copy holds %n file(s).</source>
        <translation>
            <numerusform>Le dossier %1 est vide, alors que sa copie contient %n fichier.</numerusform>
            <numerusform>Le dossier %1 est vide, alors que sa copie contient %n fichiers.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n of the %1 files of the copy of %2 are no longer in the folder.</source>
        <translation>
            <numerusform>%n des %1 fichiers de la copie de %2 n’est plus dans le dossier.</numerusform>
            <numerusform>%n des %1 fichiers de la copie de %2 ne sont plus dans le dossier.</numerusform>
        </translation>
    </message>
    <message>
        <source>
A disk not plugged in or a folder emptied by mistake looks the same. Move them into versions all the same?</source>
        <translation>
Un disque non branché ou un dossier vidé par erreur produit le même effet. Les déplacer quand même dans les versions&#x202f;?</translation>
    </message>
    <message>
        <source>Verifying Backup...</source>
        <translation>Vérification de la sauvegarde...</translation>
    </message>
    <message>
        <source>Files read:</source>
        <translation>Fichiers lus&#xa0;:</translation>
    </message>
    <message>
        <source>Files and Folders</source>
        <translation>Fichiers et dossiers</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Outils</translation>
    </message>
</context>
<context>
    <name>MomentModel</name>
    <message>
        <source>Could not read %1: %2</source>
        <translation>Impossible de lire %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>%1
Kept by the backup of %2</source>
        <translation>%1
Conservé par la sauvegarde du %2</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Modifié</translation>
    </message>
</context>
<context>
    <name>OptionsDialog</name>
    <message>
        <source>Backup Options</source>
        <translation>Options de sauvegarde</translation>
    </message>
    <message>
        <source>Options of &quot;%1&quot;</source>
        <translation>Options de «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>One pattern a line: * and ? within a name, ** for any folders, a trailing / for folders only, a leading / from the item on</source>
        <translation>Un motif par ligne&#xa0;: * et ? dans un nom, ** pour n’importe quels dossiers, un / final pour les dossiers seuls, un / initial à partir de l’élément</translation>
    </message>
    <message>
        <source>&amp;Leave out:</source>
        <translation>E&amp;xclure&#xa0;:</translation>
    </message>
    <message>
        <source>none</source>
        <translation>aucune</translation>
    </message>
    <message>
        <source>&amp;Versions to keep:</source>
        <translation>&amp;Versions à conserver&#xa0;:</translation>
    </message>
    <message>
        <source>no limit</source>
        <translation>sans limite</translation>
    </message>
    <message>
        <source>&amp;Days to keep:</source>
        <translation>&amp;Jours de conservation&#xa0;:</translation>
    </message>
    <message>
        <source>Leave out folders that hold a CACHEDIR.&amp;TAG</source>
        <translation>Exclure les dossiers contenant un &amp;CACHEDIR.TAG</translation>
    </message>
    <message>
        <source>&amp;Ask before a backup to a different drive than the last one</source>
        <translation>&amp;Demander avant une sauvegarde sur un autre disque que la dernière fois</translation>
    </message>
    <message>
        <source>&amp;Move what was removed from a folder out of its copy, into versions</source>
        <translation>Dé&amp;placer ce qui a été retiré d’un dossier hors de sa copie, dans les versions</translation>
    </message>
    <message>
        <source>Files and folders removed or renamed since the last backup go into .stowmere-versions of the Backup To Folder, kept as long as versions are; a folder found empty asks first.</source>
        <translation>Les fichiers et dossiers supprimés ou renommés depuis la dernière sauvegarde vont dans .stowmere-versions du dossier de destination et sont conservés aussi longtemps que les versions&#x202f;; un dossier trouvé vide demande d’abord confirmation.</translation>
    </message>
    <message>
        <source>Drive of the last backup:</source>
        <translation>Disque de la dernière sauvegarde&#xa0;:</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Enregistrer</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Annuler</translation>
    </message>
    <message>
        <source>not recorded yet</source>
        <translation>pas encore enregistré</translation>
    </message>
    <message>
        <source>a server folder</source>
        <translation>un dossier sur un serveur</translation>
    </message>
    <message>
        <source>Host key %1</source>
        <translation>Clé du serveur %1</translation>
    </message>
    <message>
        <source>a drive that is not connected now</source>
        <translation>un disque actuellement non connecté</translation>
    </message>
    <message>
        <source>UUID %1</source>
        <translation>UUID %1</translation>
    </message>
    <message>
        <source> (label &quot;%1&quot;)</source>
        <translation> (nom «&#xa0;%1&#xa0;»)</translation>
    </message>
</context>
<context>
    <name>PreviewDialog</name>
    <message>
        <source>Preview Backup</source>
        <translation>Aperçu de la sauvegarde</translation>
    </message>
    <message>
        <source>What a backup of &quot;%1&quot; would do</source>
        <translation>Ce que ferait une sauvegarde de «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copier</translation>
    </message>
    <message>
        <source>Scanning...</source>
        <translation>Analyse...</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Annuler</translation>
    </message>
    <message>
        <source>Cancelling...</source>
        <translation>Annulation...</translation>
    </message>
    <message numerus="yes">
        <source>Scanning... %n entry(ies) so far</source>
        <translation>
            <numerusform>Analyse... %n entrée jusqu’ici</numerusform>
            <numerusform>Analyse... %n entrées jusqu’ici</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Fermer</translation>
    </message>
    <message>
        <source>The preview could not start.</source>
        <translation>L’aperçu n’a pas pu commencer.</translation>
    </message>
    <message>
        <source>A backup would copy %1 (%2) and create %3.</source>
        <translation>Une sauvegarde copierait %1 (%2) et créerait %3.</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s)</source>
        <translation>
            <numerusform>%n fichier</numerusform>
            <numerusform>%n fichiers</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n folder(s)</source>
        <translation>
            <numerusform>%n dossier</numerusform>
            <numerusform>%n dossiers</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) left out.</source>
        <translation>
            <numerusform>%n fichier ou dossier est exclu.</numerusform>
            <numerusform>%n fichiers ou dossiers sont exclus.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) up to date.</source>
        <translation>
            <numerusform>%n fichier est à jour.</numerusform>
            <numerusform>%n fichiers sont à jour.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n copy(ies) whose source(s) are gone would move into versions.</source>
        <translation>
            <numerusform>%n copie dont la source a disparu irait dans les versions.</numerusform>
            <numerusform>%n copies dont les sources ont disparu iraient dans les versions.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) not found.</source>
        <translation>
            <numerusform>%n élément introuvable.</numerusform>
            <numerusform>%n éléments introuvables.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) or folder(s) could not be read.</source>
        <translation>
            <numerusform>%n fichier ou dossier n’a pas pu être lu.</numerusform>
            <numerusform>%n fichiers ou dossiers n’ont pas pu être lus.</numerusform>
        </translation>
    </message>
    <message>
        <source>Cancelled. So far: %1</source>
        <translation>Annulé. Jusqu’ici&#xa0;: %1</translation>
    </message>
</context>
<context>
    <name>PreviewModel</name>
    <message>
        <source>Path</source>
        <translation>Chemin</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Motif</translation>
    </message>
</context>
<context>
    <name>ProgressTitle</name>
    <message>
        <source>Progress</source>
        <translation>Progression</translation>
    </message>
    <message>
        <source>Progress - %1</source>
        <translation>Progression - %1</translation>
    </message>
</context>
<context>
    <name>ProgressWindow</name>
    <message>
        <source>Backup in Progress...</source>
        <translation>Sauvegarde en cours...</translation>
    </message>
    <message>
        <source>Finalizing...</source>
        <translation>Finalisation...</translation>
    </message>
    <message>
        <source>Files copied:</source>
        <translation>Fichiers copiés&#xa0;:</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progression</translation>
    </message>
    <message>
        <source>Backup Complete</source>
        <translation>Sauvegarde terminée</translation>
    </message>
    <message>
        <source>Stop Backup</source>
        <translation>Arrêter la sauvegarde</translation>
    </message>
</context>
<context>
    <name>RestoreDialog</name>
    <message>
        <source>Restore</source>
        <translation>Restauration</translation>
    </message>
    <message>
        <source>Restore from the backup of &quot;%1&quot;</source>
        <translation>Restaurer depuis la sauvegarde de «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>&amp;Backed up at:</source>
        <translation>&amp;Sauvegardé le&#xa0;:</translation>
    </message>
    <message>
        <source>Find every kept version of a file by its name</source>
        <translation>Trouver toutes les versions conservées d’un fichier par son nom</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Nom</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Dossier</translation>
    </message>
    <message>
        <source>Until</source>
        <translation>Jusqu’au</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Taille</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Modifié</translation>
    </message>
    <message>
        <source>The backup that replaced or removed this version: it is the file as it was before that backup</source>
        <translation>La sauvegarde qui a remplacé ou retiré cette version&#xa0;: c’est le fichier tel qu’il était avant cette sauvegarde</translation>
    </message>
    <message>
        <source>To the &amp;original places</source>
        <translation>Aux emplacements d’&amp;origine</translation>
    </message>
    <message>
        <source>Into this &amp;folder:</source>
        <translation>Dans ce &amp;dossier&#xa0;:</translation>
    </message>
    <message>
        <source>&amp;Replace files that differ</source>
        <translation>&amp;Remplacer les fichiers qui diffèrent</translation>
    </message>
    <message>
        <source>Bro&amp;wse...</source>
        <translation>&amp;Parcourir...</translation>
    </message>
    <message>
        <source>Res&amp;tore</source>
        <translation>Res&amp;taurer</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Annuler</translation>
    </message>
    <message>
        <source>Latest backup</source>
        <translation>Dernière sauvegarde</translation>
    </message>
    <message>
        <source>%1 (latest)</source>
        <translation>%1 (dernière)</translation>
    </message>
    <message>
        <source>No kept version of a file named like &quot;%1&quot;.</source>
        <translation>Aucune version conservée d’un fichier nommé comme «&#xa0;%1&#xa0;».</translation>
    </message>
    <message>
        <source>their original places</source>
        <translation>leurs emplacements d’origine</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>Le dossier %1 n’existe pas.</translation>
    </message>
</context>
<context>
    <name>SetEditorDialog</name>
    <message>
        <source>Add / Edit Backup</source>
        <translation>Créer / modifier un jeu de sauvegarde</translation>
    </message>
    <message>
        <source>Backup Information</source>
        <translation>Informations de sauvegarde</translation>
    </message>
    <message>
        <source>Backup &amp;Description</source>
        <translation>&amp;Description</translation>
    </message>
    <message>
        <source>Backup &amp;To Folder</source>
        <translation>Dossier de des&amp;tination</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Enregistrer</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Annuler</translation>
    </message>
</context>
<context>
    <name>ShownValues</name>
    <message>
        <source>%1 GB</source>
        <translation>%1 Go</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 Mo</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 Ko</translation>
    </message>
    <message>
        <source>%1 Bytes</source>
        <translation>%1 octets</translation>
    </message>
</context>
<context>
    <name>StartOptions</name>
    <message>
        <source>stowmere: unexpected argument &apos;%1&apos;</source>
        <translation>stowmere&#xa0;: argument inattendu «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>stowmere: unknown option &apos;%1&apos;</source>
        <translation>stowmere&#xa0;: option inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Usage: stowmere [-h|--help] [-v|--version] [Qt options]</source>
        <translation>Utilisation&#xa0;: stowmere [-h|--help] [-v|--version] [options de Qt]</translation>
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
        <translation>Ouvre la fenêtre de Stowmere&#xa0;: les jeux de sauvegarde, chacun avec une
description, un dossier de destination et une liste des fichiers et dossiers
à sauvegarder.

Options&#xa0;:
  -h, --help     afficher cette aide et quitter
  -v, --version  afficher la version et quitter

Les options propres à Qt, comme -platform NOM ou -style NOM, sont également
acceptées.
La ligne de commande a son propre programme&#xa0;: «&#xa0;stowmere-cli --help&#xa0;».
</translation>
    </message>
</context>
<context>
    <name>StowmereApplication</name>
    <message>
        <source>Unexpected error</source>
        <translation>Erreur inattendue</translation>
    </message>
</context>
</TS>

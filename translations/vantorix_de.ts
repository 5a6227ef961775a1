<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AfterSuccess</name>
    <message>
        <source>its name no longer leads to the file that was converted.</source>
        <translation>sein Name führt nicht mehr zu der Datei, die umgewandelt wurde.</translation>
    </message>
    <message>
        <source>there is no trash of yours on its volume.</source>
        <translation>auf seinem Laufwerk gibt es keinen Papierkorb von Ihnen.</translation>
    </message>
    <message>
        <source>its trash record could not be written: %1.</source>
        <translation>sein Eintrag im Papierkorb konnte nicht geschrieben werden: %1.</translation>
    </message>
    <message>
        <source>it could not be moved to the trash: %1.</source>
        <translation>es konnte nicht in den Papierkorb verschoben werden: %1.</translation>
    </message>
    <message>
        <source>the trash has no free name for it.</source>
        <translation>der Papierkorb hat keinen freien Namen dafür.</translation>
    </message>
    <message>
        <source>it is the output itself.</source>
        <translation>es ist die Ausgabe selbst.</translation>
    </message>
    <message>
        <source>it could not be deleted: %1.</source>
        <translation>es konnte nicht gelöscht werden: %1.</translation>
    </message>
    <message>
        <source>The original was kept: %1</source>
        <translation>Das Original wurde behalten: %1</translation>
    </message>
    <message>
        <source>The original was moved to the trash.</source>
        <translation>Das Original wurde in den Papierkorb verschoben.</translation>
    </message>
    <message>
        <source>The original was deleted.</source>
        <translation>Das Original wurde gelöscht.</translation>
    </message>
    <message>
        <source>The command &quot;%1&quot; could not be started.</source>
        <translation>Der Befehl „%1“ konnte nicht gestartet werden.</translation>
    </message>
</context>
<context>
    <name>BatchController</name>
    <message>
        <source>Output path does not exist</source>
        <translation>Ausgabepfad existiert nicht</translation>
    </message>
    <message>
        <source>The output path does not exist. Please specify another one.</source>
        <translation>Der Ausgabepfad existiert nicht. Bitte geben Sie einen anderen an.</translation>
    </message>
    <message>
        <source> — Ctrl+P pauses</source>
        <translation> — Strg+P pausiert</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source> — paused, Ctrl+P resumes</source>
        <translation> — pausiert, Strg+P setzt fort</translation>
    </message>
    <message>
        <source>the file cannot be read</source>
        <translation>die Datei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>Convert on hosts</source>
        <translation>Umwandeln auf Rechnern</translation>
    </message>
    <message>
        <source>The hosts file &quot;%1&quot; cannot be used: %2.

Choose another one on the Hosts page of Settings.</source>
        <translation>Die Rechnerdatei &quot;%1&quot; kann nicht verwendet werden: %2.

Wählen Sie auf der Seite Rechner der Einstellungen eine andere.</translation>
    </message>
    <message>
        <source>While converting on the hosts:
%1</source>
        <translation>Beim Umwandeln auf den Rechnern:
%1</translation>
    </message>
</context>
<context>
    <name>BatchEnd</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The Coversion is canceled.</source>
        <translation>Die Umwandlung wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Turn off</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <source>The computer could not be turned off: </source>
        <translation>Der Computer konnte nicht ausgeschaltet werden: </translation>
    </message>
    <message>
        <source>Complete</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>The coversion is completed successfully.</source>
        <translation>Die Umwandlung wurde erfolgreich abgeschlossen.</translation>
    </message>
    <message>
        <source>The conversion is finished, but %1 of %2 files failed.</source>
        <translation>Die Umwandlung ist beendet, aber %1 von %2 Dateien sind fehlgeschlagen.</translation>
    </message>
</context>
<context>
    <name>BatchMode</name>
    <message>
        <source>vantorix --batch: %1</source>
        <translation>vantorix --batch: %1</translation>
    </message>
    <message>
        <source>Try &quot;vantorix --batch --help&quot; for the options.</source>
        <translation>„vantorix --batch --help“ nennt die Optionen.</translation>
    </message>
    <message>
        <source>the time range does not fit its length %1</source>
        <translation>der Zeitbereich passt nicht zu seiner Länge %1</translation>
    </message>
    <message>
        <source>Skipped %1: %2</source>
        <translation>Übersprungen %1: %2</translation>
    </message>
    <message>
        <source>the name is not valid UTF-8</source>
        <translation>der Name ist kein gültiges UTF-8</translation>
    </message>
    <message>
        <source>Not found: %1</source>
        <translation>Nicht gefunden: %1</translation>
    </message>
    <message>
        <source>No files to convert.</source>
        <translation>Keine Dateien zum Umwandeln.</translation>
    </message>
    <message>
        <source>  Not converted  %1</source>
        <translation>  Nicht umgewandelt  %1</translation>
    </message>
    <message>
        <source>  Skipped  %1 (%2)</source>
        <translation>  Übersprungen  %1 (%2)</translation>
    </message>
    <message>
        <source>  Not found  %1</source>
        <translation>  Nicht gefunden  %1</translation>
    </message>
    <message>
        <source>Summary: %1 complete, %2 failed, %3 stopped</source>
        <translation>Zusammenfassung: %1 fertig, %2 fehlgeschlagen, %3 gestoppt</translation>
    </message>
    <message>
        <source>, %1 skipped</source>
        <translation>, %1 übersprungen</translation>
    </message>
    <message>
        <source>, %1 not found</source>
        <translation>, %1 nicht gefunden</translation>
    </message>
    <message>
        <source>, %1 not converted</source>
        <translation>, %1 nicht umgewandelt</translation>
    </message>
    <message>
        <source> (interrupted)</source>
        <translation> (unterbrochen)</translation>
    </message>
    <message>
        <source>Watching %1 (a file is converted once it has not changed for %2 s); Ctrl+C ends.</source>
        <translation>Überwache %1 (eine Datei wird umgewandelt, sobald sie sich %2 s nicht geändert hat); Strg+C beendet.</translation>
    </message>
    <message>
        <source>The journal could not be written: %1</source>
        <translation>Das Journal konnte nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>--set &quot;%1&quot;: expected &quot;Parameter=Value&quot;</source>
        <translation>--set „%1“: „Parameter=Wert“ erwartet</translation>
    </message>
    <message>
        <source>--set &quot;%1&quot;: give the size itself, e.g. &quot;%2=640x480&quot;</source>
        <translation>--set „%1“: Geben Sie die Größe selbst an, z. B. „%2=640x480“</translation>
    </message>
    <message>
        <source>--set &quot;%1&quot;: &quot;%2&quot; is not a choice of &quot;%3&quot; (%4)</source>
        <translation>--set „%1“: „%2“ ist keine Auswahl von „%3“ (%4)</translation>
    </message>
    <message>
        <source> or a size WIDTHxHEIGHT</source>
        <translation> oder eine Größe BREITExHÖHE</translation>
    </message>
    <message>
        <source>--set &quot;%1&quot;: &quot;%2&quot; cannot be changed</source>
        <translation>--set „%1“: „%2“ kann nicht geändert werden</translation>
    </message>
    <message>
        <source>--set &quot;%1&quot;: the profile has no parameter &quot;%2&quot;</source>
        <translation>--set „%1“: Das Profil hat keinen Parameter „%2“</translation>
    </message>
    <message>
        <source>Converts video files without a window, one after another or several at once (--jobs), with a profile of the program folder.
PATH: a file (converted whatever its extension), a folder (its supported files; with -r, those of its subfolders too), or, as the first path, a .tmp file listing one path per line.
Exit status: 0 every task completed, 1 a task failed or was skipped, 2 bad usage, 130 interrupted.</source>
        <translation>Wandelt Videodateien ohne Fenster um, nacheinander oder mehrere gleichzeitig (--jobs), mit einem Profil des Programmordners.
PFAD: eine Datei (umgewandelt, gleich welche Endung), ein Ordner (seine unterstützten Dateien; mit -r auch die seiner Unterordner) oder, als erster Pfad, eine .tmp-Datei mit einem Pfad je Zeile.
Rückgabewert: 0 jede Aufgabe fertig, 1 eine Aufgabe fehlgeschlagen oder übersprungen, 2 falscher Aufruf, 130 unterbrochen.</translation>
    </message>
    <message>
        <source>Convert without a window.</source>
        <translation>Ohne Fenster umwandeln.</translation>
    </message>
    <message>
        <source>The profile (default: the one chosen last in the window, else the first; see --list-profiles).</source>
        <translation>Das Profil (Vorgabe: das zuletzt im Fenster gewählte, sonst das erste; siehe --list-profiles).</translation>
    </message>
    <message>
        <source>name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>The output folder (default: the one chosen last in the window).</source>
        <translation>Der Ausgabeordner (Vorgabe: der zuletzt im Fenster gewählte).</translation>
    </message>
    <message>
        <source>folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Overwrite existing output files.</source>
        <translation>Vorhandene Ausgabedateien überschreiben.</translation>
    </message>
    <message>
        <source>Name an output &lt;name&gt;_&lt;index&gt; when its file exists (default: the choice stored in the Settings window).</source>
        <translation>Eine Ausgabe &lt;Name&gt;_&lt;Index&gt; nennen, wenn ihre Datei existiert (Vorgabe: die Wahl im Einstellungsfenster).</translation>
    </message>
    <message>
        <source>Set a parameter of the profile, as in its grid, e.g. &quot;Video Size=640x480&quot; (repeatable).</source>
        <translation>Einen Parameter des Profils setzen, wie in seiner Tabelle, z. B. „Video Size=640x480“ (wiederholbar).</translation>
    </message>
    <message>
        <source>Parameter=Value</source>
        <translation>Parameter=Wert</translation>
    </message>
    <message>
        <source>Convert every file from this time on (h:m:s[.f]).</source>
        <translation>Jede Datei ab dieser Zeit umwandeln (h:m:s[.f]).</translation>
    </message>
    <message>
        <source>time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Convert every file up to this time.</source>
        <translation>Jede Datei bis zu dieser Zeit umwandeln.</translation>
    </message>
    <message>
        <source>Convert up to N files at once, 1 to %1 (default: the number stored in the Settings window, else 1).</source>
        <translation>Bis zu N Dateien gleichzeitig umwandeln, 1 bis %1 (Vorgabe: die im Einstellungsfenster gespeicherte Zahl, sonst 1).</translation>
    </message>
    <message>
        <source>List the folders named with their subfolders (with --watch: watch its subfolders too).</source>
        <translation>Die genannten Ordner mit ihren Unterordnern auflisten (mit --watch: auch seine Unterordner überwachen).</translation>
    </message>
    <message>
        <source>Keep the folder tree: a file found in a subfolder of a folder named goes to the same subfolder of the output folder.</source>
        <translation>Die Ordnerstruktur beibehalten: Eine Datei aus einem Unterordner eines genannten Ordners kommt in denselben Unterordner des Ausgabeordners.</translation>
    </message>
    <message>
        <source>Write each output beside its input, not into the output folder.</source>
        <translation>Jede Ausgabe neben ihre Eingabe schreiben, nicht in den Ausgabeordner.</translation>
    </message>
    <message>
        <source>Watch the folder and convert every supported file that appears in it once it has settled, until ended by Ctrl+C or SIGTERM; a journal in the output folder keeps a file from being converted twice.</source>
        <translation>Den Ordner überwachen und jede unterstützte Datei umwandeln, die darin erscheint, sobald sie fertig geschrieben ist, bis Strg+C oder SIGTERM beendet; ein Journal im Ausgabeordner verhindert, dass eine Datei zweimal umgewandelt wird.</translation>
    </message>
    <message>
        <source>With --watch: how long a file must stay unchanged, and closed by its writer, before it is converted (default 10).</source>
        <translation>Mit --watch: wie lange eine Datei unverändert und von ihrem Schreiber geschlossen bleiben muss, bevor sie umgewandelt wird (Vorgabe 10).</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>List the profiles.</source>
        <translation>Die Profile auflisten.</translation>
    </message>
    <message>
        <source>Files and folders to convert.</source>
        <translation>Umzuwandelnde Dateien und Ordner.</translation>
    </message>
    <message>
        <source>PATH...</source>
        <translation>PFAD...</translation>
    </message>
    <message>
        <source>--overwrite and --rename exclude each other</source>
        <translation>--overwrite und --rename schließen einander aus</translation>
    </message>
    <message>
        <source>--tree and --beside cannot be used together</source>
        <translation>--tree und --beside können nicht zusammen verwendet werden</translation>
    </message>
    <message>
        <source>--jobs &quot;%1&quot; is not a number of files at once from 1 to %2</source>
        <translation>--jobs „%1“ ist keine Zahl gleichzeitiger Dateien von 1 bis %2</translation>
    </message>
    <message>
        <source>--%1 &quot;%2&quot; is not a time (h:m:s, e.g. 0:01:30 or 0:00:05.5)</source>
        <translation>--%1 „%2“ ist keine Zeit (h:m:s, z. B. 0:01:30 oder 0:00:05.5)</translation>
    </message>
    <message>
        <source>--end must come after --start</source>
        <translation>--end muss nach --start liegen</translation>
    </message>
    <message>
        <source>--profile: there is no profile &quot;%1&quot; (--list-profiles lists them)</source>
        <translation>--profile: Es gibt kein Profil „%1“ (--list-profiles listet sie auf)</translation>
    </message>
    <message>
        <source>There is no profile in %1.</source>
        <translation>In %1 gibt es kein Profil.</translation>
    </message>
    <message>
        <source>--output: the folder &quot;%1&quot; does not exist</source>
        <translation>--output: Der Ordner „%1“ existiert nicht</translation>
    </message>
    <message>
        <source>The output path does not exist. Please specify another one. (stored: &quot;%1&quot;; give one with --output)</source>
        <translation>Der Ausgabepfad existiert nicht. Bitte geben Sie einen anderen an. (gespeichert: „%1“; geben Sie einen mit --output an)</translation>
    </message>
    <message>
        <source>--settle &quot;%1&quot; is not a number of seconds from 0 to 86400</source>
        <translation>--settle „%1“ ist keine Zahl von Sekunden von 0 bis 86400</translation>
    </message>
    <message>
        <source>--watch: the folder &quot;%1&quot; does not exist</source>
        <translation>--watch: Der Ordner „%1“ existiert nicht</translation>
    </message>
    <message>
        <source>--watch converts what appears in its folder: no further paths</source>
        <translation>--watch wandelt um, was in seinem Ordner erscheint: keine weiteren Pfade</translation>
    </message>
    <message>
        <source>--watch cannot write its outputs beside their inputs</source>
        <translation>--watch kann seine Ausgaben nicht neben ihre Eingaben schreiben</translation>
    </message>
    <message>
        <source>--watch: the output folder must lie outside the watched folder</source>
        <translation>--watch: Der Ausgabeordner muss außerhalb des überwachten Ordners liegen</translation>
    </message>
    <message>
        <source>--settle goes with --watch</source>
        <translation>--settle gehört zu --watch</translation>
    </message>
    <message>
        <source>no files or folders to convert</source>
        <translation>keine Dateien oder Ordner zum Umwandeln</translation>
    </message>
    <message>
        <source>The profile &quot;%1&quot; could not be read.</source>
        <translation>Das Profil „%1“ konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>paths</source>
        <translation>Pfade</translation>
    </message>
    <message>
        <source>--hosts: the file &quot;%1&quot; cannot be read</source>
        <translation>--hosts: Die Datei „%1“ kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>--hosts: %1</source>
        <translation>--hosts: %1</translation>
    </message>
    <message>
        <source>Convert on the hosts of this file over SSH, one a line: &quot;[N/][user@]host&quot;, &quot;:&quot; for this machine, N tasks at once there (default: --jobs).</source>
        <translation>Auf den Rechnern dieser Datei über SSH umwandeln, einer pro Zeile: „[N/][Benutzer@]Rechner“, „:“ für diesen Rechner, N Aufgaben gleichzeitig dort (Vorgabe: --jobs).</translation>
    </message>
    <message>
        <source>file</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>With --hosts: the ssh configuration file to use (ssh -F).</source>
        <translation>Mit --hosts: die zu verwendende SSH-Konfigurationsdatei (ssh -F).</translation>
    </message>
    <message>
        <source>, %1 not smaller (originals kept)</source>
        <translation>, %1 nicht kleiner (Originale behalten)</translation>
    </message>
    <message>
        <source>Copy each stream that already has the profile&apos;s codec and fits its settings; convert the rest.</source>
        <translation>Jeden Datenstrom kopieren, der schon den Codec des Profils hat und zu seinen Einstellungen passt; den Rest umwandeln.</translation>
    </message>
    <message>
        <source>Keep the original when the output is not smaller: the output is discarded.</source>
        <translation>Das Original behalten, wenn die Ausgabe nicht kleiner ist: die Ausgabe wird verworfen.</translation>
    </message>
    <message>
        <source>Do not give the outputs their inputs&apos; modification times and tags.</source>
        <translation>Den Ausgaben nicht die Änderungszeiten und Tags ihrer Eingaben geben.</translation>
    </message>
    <message>
        <source>What becomes of an input once its output is checked and saved: keep (default), trash, delete.</source>
        <translation>Was aus einer Eingabe wird, sobald ihre Ausgabe geprüft und gespeichert ist: keep (behalten, Standard), trash (Papierkorb), delete (löschen).</translation>
    </message>
    <message>
        <source>Run this command for each file that ended, with VANTORIX_INPUT, VANTORIX_OUTPUT, VANTORIX_STATUS and VANTORIX_ORIGINAL in its environment (no shell).</source>
        <translation>Diesen Befehl für jede beendete Datei ausführen, mit VANTORIX_INPUT, VANTORIX_OUTPUT, VANTORIX_STATUS und VANTORIX_ORIGINAL in seiner Umgebung (ohne Shell).</translation>
    </message>
    <message>
        <source>command</source>
        <translation>Befehl</translation>
    </message>
    <message>
        <source>Run this command once the batch has ended, with VANTORIX_STATUS and the counts in its environment.</source>
        <translation>Diesen Befehl ausführen, sobald der Stapel beendet ist, mit VANTORIX_STATUS und den Zählungen in seiner Umgebung.</translation>
    </message>
    <message>
        <source>--original &quot;%1&quot; is none of keep, trash, delete</source>
        <translation>--original „%1“ ist keines von keep, trash, delete</translation>
    </message>
    <message>
        <source>Pick the quality value (CRF) of an H.264, H.265 or AV1 profile that gives at least this SSIM, from a few samples; the profile&apos;s &quot;Quality: SSIM&quot; row.</source>
        <translation>Den Qualitätswert (CRF) eines H.264-, H.265- oder AV1-Profils wählen, der mindestens diese SSIM ergibt, anhand einiger Stichproben; die Zeile „Quality: SSIM“ des Profils.</translation>
    </message>
    <message>
        <source>--ssh-config goes with --hosts</source>
        <translation>--ssh-config gehört zu --hosts</translation>
    </message>
    <message>
        <source>--slurm: the output folder &quot;%1&quot; does not exist</source>
        <translation>--slurm: Der Ausgabeordner &quot;%1&quot; existiert nicht</translation>
    </message>
    <message>
        <source>--slurm and --hosts exclude each other</source>
        <translation>--slurm und --hosts schließen einander aus</translation>
    </message>
    <message>
        <source>Convert as one Slurm job array on a cluster whose nodes see the files, the output folder and this program at the same paths; what follows &quot;--&quot; goes to sbatch as it is (partition, time limit, memory), --jobs caps the elements running at once.</source>
        <translation>Als ein Slurm-Job-Array auf einem Cluster konvertieren, dessen Knoten die Dateien, den Ausgabeordner und dieses Programm unter denselben Pfaden sehen; was nach &quot;--&quot; folgt, geht unverändert an sbatch (Partition, Zeitlimit, Speicher), --jobs begrenzt die gleichzeitig laufenden Elemente.</translation>
    </message>
    <message>
        <source>  Skipped  %1 -&gt; %2 (converted before)</source>
        <translation>  Übersprungen  %1 -&gt; %2 (schon umgewandelt)</translation>
    </message>
    <message>
        <source>, %1 converted before</source>
        <translation>, %1 schon umgewandelt</translation>
    </message>
    <message>
        <source>Leave out a file whose output is in its place already and passes the output check; convert the others.</source>
        <translation>Eine Datei auslassen, deren Ausgabe schon an ihrem Platz liegt und die Prüfung der Ausgabe besteht; die anderen umwandeln.</translation>
    </message>
    <message>
        <source>--skip-existing does not go with --watch</source>
        <translation>--skip-existing passt nicht zu --watch</translation>
    </message>
    <message>
        <source>Convert a file longer than this in segments of about this length, several at once, and resume from the segments done when the same command is run again (MP4, MOV, MKV, WebM and TS outputs).</source>
        <translation>Eine Datei, die länger ist, in Segmenten etwa dieser Länge umwandeln, mehrere zugleich, und beim erneuten Aufruf desselben Befehls mit den fertigen Segmenten fortfahren (Ausgaben MP4, MOV, MKV, WebM und TS).</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>--segment &quot;%1&quot; is not a number of minutes above 0</source>
        <translation>--segment &quot;%1&quot; ist keine Zahl von Minuten über 0</translation>
    </message>
</context>
<context>
    <name>BatchView</name>
    <message>
        <source>%1 Converting %2 -&gt; %3</source>
        <translation>%1 Umwandlung %2 -&gt; %3</translation>
    </message>
    <message>
        <source>%1 %2  %3  elapsed %4</source>
        <translation>%1 %2  %3  vergangen %4</translation>
    </message>
    <message>
        <source>  elapsed %1</source>
        <translation>  vergangen %1</translation>
    </message>
    <message>
        <source>  remaining %1</source>
        <translation>  verbleibend %1</translation>
    </message>
    <message>
        <source>  (batch %1%)</source>
        <translation>  (Stapel %1%)</translation>
    </message>
</context>
<context>
    <name>ConversionJob</name>
    <message>
        <source>The output is damaged: the engine reported &quot;%1&quot;.</source>
        <translation>Die Ausgabe ist beschädigt: Der Konverter meldete „%1“.</translation>
    </message>
    <message>
        <source>The output file is missing or empty.</source>
        <translation>Die Ausgabedatei fehlt oder ist leer.</translation>
    </message>
    <message>
        <source>The input&apos;s streams could not be read: its subtitles were left out.</source>
        <translation>Die Ströme der Eingabe konnten nicht gelesen werden: Ihre Untertitel wurden weggelassen.</translation>
    </message>
    <message>
        <source>The engine was stopped: its work made no progress for %1 s.</source>
        <translation>Der Konverter wurde angehalten: Seine Arbeit kam %1 s lang nicht voran.</translation>
    </message>
    <message>
        <source>The engine was stopped: its output had reached %1 s, far beyond the %2 s of its input, whose times may be damaged.</source>
        <translation>Der Konverter wurde angehalten: Seine Ausgabe hatte %1 s erreicht, weit mehr als die %2 s ihrer Eingabe, deren Zeitangaben beschädigt sein können.</translation>
    </message>
    <message>
        <source>The engine found that the input ends early: the output holds all it could read.</source>
        <translation>Der Konverter hat festgestellt, dass die Eingabe vorzeitig endet: Die Ausgabe enthält alles, was er lesen konnte.</translation>
    </message>
    <message>
        <source>Stopped while its output was checked: the output was found good and kept as &quot;%1&quot;.</source>
        <translation>Während der Prüfung der Ausgabe angehalten: Die Ausgabe war in Ordnung und wurde als „%1“ behalten.</translation>
    </message>
    <message>
        <source>Stopped while its output was checked: the output was found faulty and removed. %1</source>
        <translation>Während der Prüfung der Ausgabe angehalten: Die Ausgabe war fehlerhaft und wurde entfernt. %1</translation>
    </message>
    <message>
        <source>Copied as it was: %1.</source>
        <translation>Unverändert kopiert: %1.</translation>
    </message>
    <message>
        <source>The output (%1 bytes) was not smaller than the input (%2 bytes).</source>
        <translation>Die Ausgabe (%1 Bytes) war nicht kleiner als die Eingabe (%2 Bytes).</translation>
    </message>
    <message>
        <source>Quality: CRF %1 chosen for SSIM %2 or more (predicted %3; probes: %4).</source>
        <translation>Qualität: CRF %1 gewählt für eine SSIM von mindestens %2 (erwartet %3; Proben: %4).</translation>
    </message>
    <message>
        <source>The quality could not be picked (%1): the profile&apos;s own settings were used.</source>
        <translation>Die Qualität konnte nicht gewählt werden (%1): Die Einstellungen des Profils wurden verwendet.</translation>
    </message>
</context>
<context>
    <name>ConversionRun</name>
    <message>
        <source>%1 files</source>
        <translation>%1 Dateien</translation>
    </message>
    <message>
        <source>Converting videos</source>
        <translation>Videos werden umgewandelt</translation>
    </message>
    <message>
        <source>The original was kept: it could not be read when its conversion began.</source>
        <translation>Das Original wurde behalten: es konnte zu Beginn seiner Umwandlung nicht gelesen werden.</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>%1 files converted</source>
        <translation>%1 Dateien umgewandelt</translation>
    </message>
    <message>
        <source>%1 of %2 files failed</source>
        <translation>%1 von %2 Dateien fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>EngineCommand</name>
    <message>
        <source>Subtitle stream 0:%1 (%2) was left out: </source>
        <translation>Untertitelstrom 0:%1 (%2) wurde weggelassen: </translation>
    </message>
    <message>
        <source>%1 files hold no subtitles.</source>
        <translation>%1-Dateien enthalten keine Untertitel.</translation>
    </message>
    <message>
        <source>%1 files hold no subtitles of this kind.</source>
        <translation>%1-Dateien enthalten keine Untertitel dieser Art.</translation>
    </message>
    <message>
        <source>%1 files hold only DVD picture subtitles.</source>
        <translation>%1-Dateien enthalten nur DVD-Bilduntertitel.</translation>
    </message>
    <message>
        <source>%1 files hold no subtitles drawn as pictures.</source>
        <translation>%1-Dateien enthalten keine als Bilder gezeichneten Untertitel.</translation>
    </message>
    <message>
        <source>video (%1, %2x%3)</source>
        <translation>Video (%1, %2x%3)</translation>
    </message>
    <message>
        <source>audio 0:%1 (%2, %3 Hz)</source>
        <translation>Audio 0:%1 (%2, %3 Hz)</translation>
    </message>
    <message>
        <source>audio (%1)</source>
        <translation>Audio (%1)</translation>
    </message>
</context>
<context>
    <name>EngineOutputForm</name>
    <message>
        <source>Engine Output</source>
        <translation>Ausgabe des Konverters</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Engine Output - </source>
        <translation>Ausgabe des Konverters - </translation>
    </message>
</context>
<context>
    <name>FailureExplanation</name>
    <message>
        <source>%1 cannot be stored in %2: choose another codec or an MKV profile.</source>
        <translation>%1 kann nicht in %2 gespeichert werden: Wählen Sie einen anderen Codec oder ein MKV-Profil.</translation>
    </message>
    <message>
        <source>%1 cannot be stored in %2: choose another %3 codec or an MKV profile.</source>
        <translation>%1 kann nicht in %2 gespeichert werden: Wählen Sie einen anderen %3-Codec oder ein MKV-Profil.</translation>
    </message>
    <message>
        <source>%1 cannot be copied into %2: choose a converting profile.</source>
        <translation>%1 kann nicht in %2 kopiert werden: Wählen Sie ein umwandelndes Profil.</translation>
    </message>
    <message>
        <source>%1 cannot be copied into %2: choose a converting %2 profile or the &quot;MKV Copy Streams&quot; profile.</source>
        <translation>%1 kann nicht in %2 kopiert werden: Wählen Sie ein umwandelndes %2-Profil oder das Profil „MKV Copy Streams“.</translation>
    </message>
    <message>
        <source>An encoder could not start: choose another profile or change its parameters.</source>
        <translation>Ein Encoder konnte nicht starten: Wählen Sie ein anderes Profil oder ändern Sie seine Parameter.</translation>
    </message>
    <message>
        <source>The encoder &quot;%1&quot; could not start (%2): choose another profile or change its parameters.</source>
        <translation>Der Encoder „%1“ konnte nicht starten (%2): Wählen Sie ein anderes Profil oder ändern Sie seine Parameter.</translation>
    </message>
    <message>
        <source>The disk is full: free some space or choose another output folder.</source>
        <translation>Der Datenträger ist voll: Schaffen Sie Platz oder wählen Sie einen anderen Ausgabeordner.</translation>
    </message>
    <message>
        <source>%1 can hold only %2: choose a converting %1 profile or the &quot;MKV Copy Streams&quot; profile.</source>
        <translation>%1 kann nur %2 aufnehmen: Wählen Sie ein umwandelndes %1-Profil oder das Profil „MKV Copy Streams“.</translation>
    </message>
    <message>
        <source>The engine has no encoder &quot;%1&quot;: choose another profile or another codec.</source>
        <translation>Der Konverter hat keinen Encoder „%1“: Wählen Sie ein anderes Profil oder einen anderen Codec.</translation>
    </message>
    <message>
        <source>The engine cannot write &quot;.%1&quot; files: choose another output extension.</source>
        <translation>Der Konverter kann keine „.%1“-Dateien schreiben: Wählen Sie eine andere Ausgabeendung.</translation>
    </message>
    <message>
        <source>The engine could not be started: %1.</source>
        <translation>Der Konverter konnte nicht gestartet werden: %1.</translation>
    </message>
    <message>
        <source>The engine was not allowed to open &quot;%1&quot;: check the permissions of the file and its folder.</source>
        <translation>Der Konverter durfte „%1“ nicht öffnen: Prüfen Sie die Zugriffsrechte der Datei und ihres Ordners.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; does not exist: it may have been moved, renamed or deleted.</source>
        <translation>„%1“ existiert nicht: Die Datei wurde vielleicht verschoben, umbenannt oder gelöscht.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is damaged or is not a video or audio file the engine can read.</source>
        <translation>„%1“ ist beschädigt oder keine Video- oder Audiodatei, die der Konverter lesen kann.</translation>
    </message>
    <message>
        <source>The name &quot;%1&quot; is too long for its file system: choose a shorter output name or folder.</source>
        <translation>Der Name „%1“ ist für sein Dateisystem zu lang: Wählen Sie einen kürzeren Ausgabenamen oder Ordner.</translation>
    </message>
    <message>
        <source>The engine does not know the codec of the input&apos;s video or audio stream: it cannot be converted or copied.</source>
        <translation>Der Konverter kennt den Codec des Video- oder Audiostroms der Eingabe nicht: Er kann weder umgewandelt noch kopiert werden.</translation>
    </message>
    <message>
        <source>The engine reported: %1</source>
        <translation>Der Konverter meldete: %1</translation>
    </message>
    <message>
        <source>The engine ended with an error without saying why.</source>
        <translation>Der Konverter endete mit einem Fehler, ohne den Grund zu nennen.</translation>
    </message>
</context>
<context>
    <name>GettingStarted</name>
    <message>
        <source>Getting started:</source>
        <translation>Erste Schritte:</translation>
    </message>
    <message>
        <source>1. Add video files in to the list.</source>
        <translation>1. Fügen Sie der Liste Videodateien hinzu.</translation>
    </message>
    <message>
        <source>2. Select a profile and specify the output path.</source>
        <translation>2. Wählen Sie ein Profil und geben Sie den Ausgabepfad an.</translation>
    </message>
    <message>
        <source>3. Click on the &quot;Start&quot; button.</source>
        <translation>3. Klicken Sie auf „Start“.</translation>
    </message>
</context>
<context>
    <name>HostPool</name>
    <message>
        <source>line %1 &quot;%2&quot; is not [N/][user@]host (N from 1 to 64)</source>
        <translation>Zeile %1 „%2“ ist nicht [N/][Benutzer@]Rechner (N von 1 bis 64)</translation>
    </message>
    <message>
        <source>it names no host</source>
        <translation>sie nennt keinen Rechner</translation>
    </message>
    <message>
        <source>%1 cannot be started: %2</source>
        <translation>%1 kann nicht gestartet werden: %2</translation>
    </message>
    <message>
        <source>the program does not start there (status %1)</source>
        <translation>das Programm startet dort nicht (Status %1)</translation>
    </message>
    <message>
        <source>leaving out %1: %2</source>
        <translation>%1 wird ausgelassen: %2</translation>
    </message>
    <message>
        <source>%1 failed a task (%2); it is checked again</source>
        <translation>%1 hat eine Aufgabe nicht geschafft (%2); der Rechner wird erneut geprüft</translation>
    </message>
    <message>
        <source>no host is left that can convert it</source>
        <translation>es bleibt kein Rechner, der sie umwandeln kann</translation>
    </message>
</context>
<context>
    <name>IniFile</name>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht geöffnet werden. %2</translation>
    </message>
    <message>
        <source>Cannot read file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht gelesen werden. %2</translation>
    </message>
    <message>
        <source>Cannot create file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht erstellt werden. %2</translation>
    </message>
</context>
<context>
    <name>ListFolder</name>
    <message>
        <source>These folders were skipped:
%1</source>
        <translation>Diese Ordner wurden übersprungen:
%1</translation>
    </message>
    <message>
        <source>it cannot be read: %1</source>
        <translation>er kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>a link back into a folder that holds it</source>
        <translation>eine Verknüpfung zurück in einen Ordner, der sie enthält</translation>
    </message>
</context>
<context>
    <name>LoginManager</name>
    <message>
        <source>the login manager cannot be reached</source>
        <translation>die Sitzungsverwaltung ist nicht erreichbar</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>vantorix: no display can be opened for the window; to convert without one, run &quot;vantorix --batch [OPTION...] PATH...&quot; (&quot;vantorix --batch --help&quot; lists the options).
</source>
        <translation>vantorix: Für das Fenster kann keine Anzeige geöffnet werden; um ohne Fenster umzuwandeln, rufen Sie „vantorix --batch [OPTION...] PFAD...“ auf („vantorix --batch --help“ nennt die Optionen).
</translation>
    </message>
</context>
<context>
    <name>OutputCheck</name>
    <message>
        <source>The output has %1 audio streams instead of %2.</source>
        <translation>Die Ausgabe hat %1 Audioströme statt %2.</translation>
    </message>
    <message>
        <source>The output has %1 subtitle streams instead of %2.</source>
        <translation>Die Ausgabe hat %1 Untertitelströme statt %2.</translation>
    </message>
    <message>
        <source>The output holds neither picture nor sound.</source>
        <translation>Die Ausgabe enthält weder Bild noch Ton.</translation>
    </message>
    <message>
        <source>The output has no video stream.</source>
        <translation>Die Ausgabe hat keinen Videostrom.</translation>
    </message>
    <message>
        <source>The output has no audio stream.</source>
        <translation>Die Ausgabe hat keinen Audiostrom.</translation>
    </message>
    <message>
        <source>The output&apos;s length could not be read (%1 s expected).</source>
        <translation>Die Länge der Ausgabe konnte nicht gelesen werden (%1 s erwartet).</translation>
    </message>
    <message>
        <source>The output lasts %1 s instead of %2 s.</source>
        <translation>Die Ausgabe dauert %1 s statt %2 s.</translation>
    </message>
    <message>
        <source>The output could not be checked in time.</source>
        <translation>Die Ausgabe konnte nicht rechtzeitig geprüft werden.</translation>
    </message>
    <message>
        <source>The output could not be read.</source>
        <translation>Die Ausgabe konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The input ends early (its data stops at %1 s of %2 s): the output holds all there is.</source>
        <translation>Die Eingabe endet vorzeitig (ihre Daten enden bei %1 s von %2 s): Die Ausgabe enthält alles, was vorhanden ist.</translation>
    </message>
    <message>
        <source>The output has no picture: the engine does not know the codec of the input&apos;s video stream.</source>
        <translation>Die Ausgabe hat kein Bild: Der Konverter kennt den Codec des Videostroms der Eingabe nicht.</translation>
    </message>
    <message>
        <source>The output&apos;s picture cannot be decoded: its video codec is unknown.</source>
        <translation>Das Bild der Ausgabe lässt sich nicht dekodieren: Ihr Videocodec ist unbekannt.</translation>
    </message>
    <message>
        <source>The output lasts %1 s, far longer than the %2 s of its input.</source>
        <translation>Die Ausgabe dauert %1 s, weit länger als die %2 s ihrer Eingabe.</translation>
    </message>
    <message>
        <source>The output is cut short: its data stops at %1 s of the %2 s it lists.</source>
        <translation>Die Ausgabe ist abgeschnitten: ihre Daten enden bei %1 s der %2 s, die sie angibt.</translation>
    </message>
</context>
<context>
    <name>OutputFile</name>
    <message>
        <source>The output&apos;s length could not be read (%1 s expected).</source>
        <translation>Die Länge der Ausgabe konnte nicht gelesen werden (%1 s erwartet).</translation>
    </message>
    <message>
        <source>The output lasts %1 s instead of %2 s.</source>
        <translation>Die Ausgabe dauert %1 s statt %2 s.</translation>
    </message>
    <message>
        <source>The output has no video stream.</source>
        <translation>Die Ausgabe hat keinen Videostrom.</translation>
    </message>
</context>
<context>
    <name>OutputNaming</name>
    <message>
        <source>an earlier task of this batch writes %1</source>
        <translation>eine frühere Aufgabe dieses Stapels schreibt %1</translation>
    </message>
    <message>
        <source>%1 is the input of another task of this batch</source>
        <translation>%1 ist die Eingabe einer anderen Aufgabe dieses Stapels</translation>
    </message>
    <message>
        <source>Renamed to %1: %2</source>
        <translation>Umbenannt in %1: %2</translation>
    </message>
</context>
<context>
    <name>OutputSettings</name>
    <message>
        <source>The new file name &quot;%1&quot; names a folder, not a file. Please specify another one.</source>
        <translation>Der neue Dateiname „%1“ bezeichnet einen Ordner, keine Datei. Bitte geben Sie einen anderen an.</translation>
    </message>
    <message>
        <source>The new file name &quot;%1&quot; contains a folder. The output is written into the output folder: please specify a name without &quot;/&quot; or &quot;\&quot;.</source>
        <translation>Der neue Dateiname „%1“ enthält einen Ordner. Die Ausgabe wird in den Ausgabeordner geschrieben: Bitte geben Sie einen Namen ohne „/“ oder „\“ an.</translation>
    </message>
</context>
<context>
    <name>ParameterEditors</name>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>Video</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Erweitert</translation>
    </message>
    <message>
        <source>%1 parameters</source>
        <translation>Parameter: %1</translation>
    </message>
    <message>
        <source>Unfold %1</source>
        <translation>%1 aufklappen</translation>
    </message>
    <message>
        <source>Fold %1</source>
        <translation>%1 zuklappen</translation>
    </message>
</context>
<context>
    <name>ParameterGrid</name>
    <message>
        <source>Parameter</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
</context>
<context>
    <name>ParameterName</name>
    <message>
        <source>New Filename</source>
        <translation>Neuer Name</translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation>Startzeit</translation>
    </message>
    <message>
        <source>End Time</source>
        <translation>Endzeit</translation>
    </message>
    <message>
        <source>Application</source>
        <translation>Anwendung</translation>
    </message>
    <message>
        <source>Aspect</source>
        <translation>Bildformat</translation>
    </message>
    <message>
        <source>Audio Bitrate</source>
        <translation>Audio-Bitrate</translation>
    </message>
    <message>
        <source>Audio Codec</source>
        <translation>Audio-Codec</translation>
    </message>
    <message>
        <source>Bit Exact Algorithms</source>
        <translation>Bitgenau</translation>
    </message>
    <message>
        <source>Bit Rate</source>
        <translation>Bitrate</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Codec Tag</source>
        <translation>Codec-Kennung</translation>
    </message>
    <message>
        <source>Compression Level</source>
        <translation>Kompressionsstufe</translation>
    </message>
    <message>
        <source>Deadline</source>
        <translation>Zeitvorgabe</translation>
    </message>
    <message>
        <source>Deinterlace</source>
        <translation>Deinterlacing</translation>
    </message>
    <message>
        <source>Disable Audio</source>
        <translation>Ohne Audio</translation>
    </message>
    <message>
        <source>Disable Video</source>
        <translation>Ohne Video</translation>
    </message>
    <message>
        <source>Encoder Messages</source>
        <translation>Encoder-Meldungen</translation>
    </message>
    <message>
        <source>Encoding Preset</source>
        <translation>Encoder-Vorgabe</translation>
    </message>
    <message>
        <source>Encoding Speed</source>
        <translation>Encoder-Tempo</translation>
    </message>
    <message>
        <source>Fast Start</source>
        <translation>Schnellstart</translation>
    </message>
    <message>
        <source>FourCC</source>
        <translation>FourCC</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>Bildrate</translation>
    </message>
    <message>
        <source>GOP Size</source>
        <translation>GOP-Größe</translation>
    </message>
    <message>
        <source>H.264 Level</source>
        <translation>H.264-Level</translation>
    </message>
    <message>
        <source>H.264 Profile</source>
        <translation>H.264-Profil</translation>
    </message>
    <message>
        <source>Loop</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Output Format</source>
        <translation>Ausgabeformat</translation>
    </message>
    <message>
        <source>Pixel Format</source>
        <translation>Pixelformat</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>Qualität</translation>
    </message>
    <message>
        <source>Row Multithreading</source>
        <translation>Zeilen-Threads</translation>
    </message>
    <message>
        <source>Sample Rate</source>
        <translation>Abtastrate</translation>
    </message>
    <message>
        <source>Streams</source>
        <translation>Ströme</translation>
    </message>
    <message>
        <source>Subtitle Codec</source>
        <translation>Untertitel-Codec</translation>
    </message>
    <message>
        <source>Variable Bit Rate</source>
        <translation>Variable Bitrate</translation>
    </message>
    <message>
        <source>Video Codec</source>
        <translation>Video-Codec</translation>
    </message>
    <message>
        <source>Video Size</source>
        <translation>Videogröße</translation>
    </message>
    <message>
        <source>Volumn</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>Breite</translation>
    </message>
    <message>
        <source>Streams already in the target format</source>
        <translation>Datenströme schon im Zielformat</translation>
    </message>
    <message>
        <source>Quality: SSIM</source>
        <translation>Qualität: SSIM</translation>
    </message>
</context>
<context>
    <name>ParameterValue</name>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>On</source>
        <translation>Ein</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Original Size</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Custom Size</source>
        <translation>Frei wählen</translation>
    </message>
    <message>
        <source>Main video and audio</source>
        <translation>Hauptspuren</translation>
    </message>
    <message>
        <source>All streams</source>
        <translation>Alle Ströme</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>Stereo</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Once</source>
        <translation>Einmal</translation>
    </message>
    <message>
        <source>Forever</source>
        <translation>Endlos</translation>
    </message>
    <message>
        <source>Errors only</source>
        <translation>Nur Fehler</translation>
    </message>
    <message>
        <source>Music</source>
        <translation>Musik</translation>
    </message>
    <message>
        <source>Speech</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Realtime</source>
        <translation>Echtzeit</translation>
    </message>
    <message>
        <source>Low Delay</source>
        <translation>Kurze Latenz</translation>
    </message>
    <message>
        <source>Constant Quality</source>
        <translation>Konstante Qualität</translation>
    </message>
    <message>
        <source>Constrained</source>
        <translation>Begrenzt</translation>
    </message>
    <message>
        <source>Best</source>
        <translation>Beste</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Good</source>
        <translation>Gut</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Smallest</source>
        <translation>Kleinste</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Tief</translation>
    </message>
    <message>
        <source>Slowest</source>
        <translation>Min.</translation>
    </message>
    <message>
        <source>Slow</source>
        <translation>Langsam</translation>
    </message>
    <message>
        <source>Fast</source>
        <translation>Schnell</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>Rascher</translation>
    </message>
    <message>
        <source>Fastest</source>
        <translation>Max.</translation>
    </message>
    <message>
        <source>Quality</source>
        <translation>Qualität</translation>
    </message>
    <message>
        <source>Xvid compatible</source>
        <translation>Xvid-kompatibel</translation>
    </message>
</context>
<context>
    <name>PauseActions</name>
    <message>
        <source>Pause</source>
        <translation>Pausieren</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
</context>
<context>
    <name>PendingStart</name>
    <message>
        <source>Waiting for the files being added…</source>
        <translation>Warten auf die Dateien, die hinzugefügt werden…</translation>
    </message>
</context>
<context>
    <name>PowerControl</name>
    <message>
        <source>the login manager answers &quot;%1&quot;</source>
        <translation>die Sitzungsverwaltung antwortet „%1“</translation>
    </message>
</context>
<context>
    <name>Preferences</name>
    <message>
        <source>Cannot create file &quot;%1&quot;. The folder cannot be created.</source>
        <translation>Die Datei „%1“ kann nicht erstellt werden. Der Ordner kann nicht angelegt werden.</translation>
    </message>
</context>
<context>
    <name>PreviewPanel</name>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Pause / Resume</source>
        <translation>Pause / Fortsetzen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Preview position</source>
        <translation>Position der Vorschau</translation>
    </message>
</context>
<context>
    <name>PreviewPlayer</name>
    <message>
        <source>The file cannot be played.</source>
        <translation>Die Datei kann nicht abgespielt werden.</translation>
    </message>
    <message>
        <source>No decoder is installed for the video stream.</source>
        <translation>Für den Videostrom ist kein Decoder installiert.</translation>
    </message>
    <message>
        <source>No decoder is installed for the video stream (%1).</source>
        <translation>Für den Videostrom ist kein Decoder installiert (%1).</translation>
    </message>
    <message>
        <source>The file has no stream that can be played.</source>
        <translation>Die Datei hat keinen Strom, der abgespielt werden kann.</translation>
    </message>
</context>
<context>
    <name>Profiles</name>
    <message>
        <source>Parameter %1: List index out of bounds (%2)</source>
        <translation>Parameter %1: Listenindex außerhalb des Bereichs (%2)</translation>
    </message>
    <message>
        <source>Parameter %1 has no name in [Main].</source>
        <translation>Parameter %1 hat keinen Namen in [Main].</translation>
    </message>
    <message>
        <source>The profile &quot;%1&quot; is malformed.
</source>
        <translation>Das Profil „%1“ ist fehlerhaft.
</translation>
    </message>
    <message>
        <source>
%1 and %2 more</source>
        <translation>
%1 und %2 weitere</translation>
    </message>
    <message>
        <source>Malformed profile</source>
        <translation>Fehlerhaftes Profil</translation>
    </message>
    <message>
        <source>&quot;Type&quot; is empty.</source>
        <translation>„Type“ ist leer.</translation>
    </message>
    <message>
        <source>&quot;Type&quot; cannot be a file extension: %1.</source>
        <translation>„Type“ kann keine Dateiendung sein: %1.</translation>
    </message>
    <message>
        <source>Cannot create folder &quot;%1&quot;.</source>
        <translation>Der Ordner „%1“ kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Cannot open file &quot;%1&quot;. %2</source>
        <translation>Die Datei „%1“ kann nicht geöffnet werden. %2</translation>
    </message>
</context>
<context>
    <name>QualitySearch</name>
    <message>
        <source>The profile&apos;s video encoder has no quality value to pick.</source>
        <translation>Der Video-Encoder des Profils hat keinen Qualitätswert, der gewählt werden könnte.</translation>
    </message>
    <message>
        <source>No samples of the input could be taken.</source>
        <translation>Von der Eingabe konnten keine Stichproben genommen werden.</translation>
    </message>
    <message>
        <source>The engine could not be started: %1</source>
        <translation>Der Konverter konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>A sample could not be converted: %1</source>
        <translation>Eine Stichprobe konnte nicht konvertiert werden: %1</translation>
    </message>
    <message>
        <source>The engine gave no SSIM for a sample.</source>
        <translation>Der Konverter hat für eine Stichprobe keine SSIM angegeben.</translation>
    </message>
</context>
<context>
    <name>RemoteEngine</name>
    <message>
        <source>the worker cannot be started: %1</source>
        <translation>der Worker kann nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>The input could not be read.</source>
        <translation>Die Eingabe konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>its answer came damaged (%1)</source>
        <translation>seine Antwort kam beschädigt an (%1)</translation>
    </message>
    <message>
        <source>The input could not be read: %1
</source>
        <translation>Die Eingabe konnte nicht gelesen werden: %1
</translation>
    </message>
    <message>
        <source>The output cannot be written here: %1
</source>
        <translation>Die Ausgabe kann hier nicht geschrieben werden: %1
</translation>
    </message>
    <message>
        <source>its output came back damaged</source>
        <translation>seine Ausgabe kam beschädigt zurück</translation>
    </message>
    <message>
        <source>its output failed the check: %1</source>
        <translation>seine Ausgabe hat die Prüfung nicht bestanden: %1</translation>
    </message>
    <message>
        <source>its output of &quot;%1&quot; failed the check where %2&apos;s passed</source>
        <translation>seine Ausgabe von „%1“ hat die Prüfung nicht bestanden, die von %2 schon</translation>
    </message>
    <message>
        <source>the connection was lost</source>
        <translation>die Verbindung ist abgerissen</translation>
    </message>
    <message>
        <source>the worker ended with status %1</source>
        <translation>der Worker endete mit Status %1</translation>
    </message>
    <message>
        <source>%1: %2; the task goes to another host.
</source>
        <translation>%1: %2; die Aufgabe geht an einen anderen Rechner.
</translation>
    </message>
</context>
<context>
    <name>RowStatus</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Converting</source>
        <translation>In Arbeit</translation>
    </message>
    <message>
        <source>Complete</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Gestoppt</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Pausiert</translation>
    </message>
    <message>
        <source>Not smaller: kept the original</source>
        <translation>Nicht kleiner: Original behalten</translation>
    </message>
</context>
<context>
    <name>SegmentedEngine</name>
    <message>
        <source>its file holds no picture</source>
        <translation>seine Datei enthält kein Bild</translation>
    </message>
    <message>
        <source>it holds %1 frames, its piece %2</source>
        <translation>es enthält %1 Bilder, sein Stück %2</translation>
    </message>
    <message>
        <source>it lasts %1 s, its piece %2 s</source>
        <translation>es dauert %1 s, sein Stück %2 s</translation>
    </message>
    <message>
        <source>The folder for its segments, &quot;%1&quot;, could not be made.</source>
        <translation>Der Ordner für seine Segmente, &quot;%1&quot;, konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Converting in segments of about %1 s; the work is kept in &quot;%2&quot;.
</source>
        <translation>Umwandlung in Segmenten von etwa %1 s; die Arbeit wird in &quot;%2&quot; aufbewahrt.
</translation>
    </message>
    <message>
        <source>Cutting the input at its key frames.
</source>
        <translation>Die Eingabe wird an ihren Schlüsselbildern geschnitten.
</translation>
    </message>
    <message>
        <source>Resumed at %1 %: %2 of %3 segments had been converted before.</source>
        <translation>Fortgesetzt bei %1 %: %2 von %3 Segmenten waren schon umgewandelt.</translation>
    </message>
    <message>
        <source>%1 segments to convert.</source>
        <translation>%1 Segmente umzuwandeln.</translation>
    </message>
    <message>
        <source>Segment started:</source>
        <translation>Segment gestartet:</translation>
    </message>
    <message>
        <source>sound</source>
        <translation>Ton</translation>
    </message>
    <message>
        <source>The input could not be cut at its key frames.</source>
        <translation>Die Eingabe konnte nicht an ihren Schlüsselbildern geschnitten werden.</translation>
    </message>
    <message>
        <source>The segments could not be joined.</source>
        <translation>Die Segmente konnten nicht zusammengefügt werden.</translation>
    </message>
    <message>
        <source>The sound could not be converted.</source>
        <translation>Der Ton konnte nicht umgewandelt werden.</translation>
    </message>
    <message>
        <source>Segment %1 of %2 could not be converted.</source>
        <translation>Segment %1 von %2 konnte nicht umgewandelt werden.</translation>
    </message>
    <message>
        <source>The input could not be cut at its key frames: its pieces hold %1 frames of %2.</source>
        <translation>Die Eingabe konnte nicht an ihren Schlüsselbildern geschnitten werden: ihre Stücke enthalten %1 von %2 Bildern.</translation>
    </message>
    <message>
        <source>The joined output holds no picture.</source>
        <translation>Die zusammengefügte Ausgabe enthält kein Bild.</translation>
    </message>
    <message>
        <source>The joined output holds %1 frames, its input %2.</source>
        <translation>Die zusammengefügte Ausgabe enthält %1 Bilder, ihre Eingabe %2.</translation>
    </message>
    <message>
        <source>The joined output lasts %1 s, its input %2 s.</source>
        <translation>Die zusammengefügte Ausgabe dauert %1 s, ihre Eingabe %2 s.</translation>
    </message>
    <message>
        <source>The joined output has lost its sound.</source>
        <translation>Die zusammengefügte Ausgabe hat ihren Ton verloren.</translation>
    </message>
    <message>
        <source>The sound of the joined output is out of step with its picture (it begins %1 s and ends %2 s from it, in the input %3 s and %4 s).</source>
        <translation>Der Ton der zusammengefügten Ausgabe ist nicht synchron zum Bild (er beginnt %1 s und endet %2 s davon entfernt, in der Eingabe %3 s und %4 s).</translation>
    </message>
    <message>
        <source>Segment %1 of %2 failed its check: %3.</source>
        <translation>Segment %1 von %2 hat die Prüfung nicht bestanden: %3.</translation>
    </message>
    <message>
        <source>The list of segments could not be written in &quot;%1&quot;.</source>
        <translation>Die Liste der Segmente konnte nicht in &quot;%1&quot; geschrieben werden.</translation>
    </message>
    <message>
        <source>Joining the segments:</source>
        <translation>Segmente werden zusammengefügt:</translation>
    </message>
</context>
<context>
    <name>SleepInhibitor</name>
    <message>
        <source>the login manager sent no descriptor</source>
        <translation>die Sitzungsverwaltung hat keinen Deskriptor gesendet</translation>
    </message>
</context>
<context>
    <name>SlurmEngine</name>
    <message>
        <source>Slurm job %1 left a damaged result.</source>
        <translation>Der Slurm-Job %1 hat ein beschädigtes Ergebnis hinterlassen.</translation>
    </message>
    <message>
        <source>Slurm job %1 on %2: %3</source>
        <translation>Slurm-Job %1 auf %2: %3</translation>
    </message>
    <message>
        <source>The input changed while Slurm job %1 converted it.</source>
        <translation>Die Eingabe hat sich geändert, während der Slurm-Job %1 sie konvertierte.</translation>
    </message>
    <message>
        <source>Slurm job %1 on %2 ended without an output.</source>
        <translation>Der Slurm-Job %1 auf %2 endete ohne Ausgabe.</translation>
    </message>
    <message>
        <source>The output of Slurm job %1 cannot be taken: %2</source>
        <translation>Die Ausgabe des Slurm-Jobs %1 kann nicht übernommen werden: %2</translation>
    </message>
    <message>
        <source>Slurm job %1 ended without a result.</source>
        <translation>Der Slurm-Job %1 endete ohne Ergebnis.</translation>
    </message>
    <message>
        <source>Slurm job %1 ended without a result: %2</source>
        <translation>Der Slurm-Job %1 endete ohne Ergebnis: %2</translation>
    </message>
</context>
<context>
    <name>SlurmPool</name>
    <message>
        <source>%1 is left: Slurm did not say in time that job %2 is over; a later run removes it.</source>
        <translation>%1 bleibt erhalten: Slurm hat nicht rechtzeitig gemeldet, dass Job %2 beendet ist; ein späterer Lauf entfernt ihn.</translation>
    </message>
    <message>
        <source>The tasks cannot be written in %1: %2</source>
        <translation>Die Aufgaben können nicht in %1 geschrieben werden: %2</translation>
    </message>
    <message>
        <source>a write failed</source>
        <translation>ein Schreibvorgang ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>sbatch cannot be run: %1</source>
        <translation>sbatch kann nicht ausgeführt werden: %1</translation>
    </message>
    <message>
        <source>sbatch refused the job array: %1</source>
        <translation>sbatch hat das Job-Array abgelehnt: %1</translation>
    </message>
    <message>
        <source>Slurm job array %1: tasks 0-%2, files in %3</source>
        <translation>Slurm-Job-Array %1: Aufgaben 0-%2, Dateien in %3</translation>
    </message>
    <message>
        <source>scancel %1 failed: %2</source>
        <translation>scancel %1 ist fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Slurm gives no answer (squeue: %1); waiting for it, nothing is removed.</source>
        <translation>Slurm antwortet nicht (squeue: %1); es wird gewartet, nichts wird entfernt.</translation>
    </message>
    <message>
        <source>status %1</source>
        <translation>Status %1</translation>
    </message>
    <message>
        <source>Slurm answers again.</source>
        <translation>Slurm antwortet wieder.</translation>
    </message>
</context>
<context>
    <name>SlurmTask</name>
    <message>
        <source>the engine does not start on %1: %2</source>
        <translation>die Engine startet auf %1 nicht: %2</translation>
    </message>
    <message>
        <source>%1 cannot be written on %2: %3</source>
        <translation>%1 kann auf %2 nicht geschrieben werden: %3</translation>
    </message>
    <message>
        <source>%1 cannot be made on %2</source>
        <translation>%1 kann auf %2 nicht angelegt werden</translation>
    </message>
    <message>
        <source>%1 on %2 is not the controller&apos;s file (%3 bytes here, %4 there, or other bytes): the file system is not shared</source>
        <translation>%1 auf %2 ist nicht die Datei des steuernden Rechners (%3 Bytes hier, %4 dort, oder andere Bytes): das Dateisystem wird nicht geteilt</translation>
    </message>
</context>
<context>
    <name>TAboutForm</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Copyright (C) %1 %2</source>
        <translation>Copyright (C) %1 %2</translation>
    </message>
    <message>
        <source>All rights reserved.</source>
        <translation>Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>Visit our website</source>
        <translation>Besuchen Sie unsere Website</translation>
    </message>
    <message>
        <source>More video converting softwares</source>
        <translation>Weitere Programme zum Umwandeln von Videos</translation>
    </message>
    <message>
        <source>(More)</source>
        <translation>(Mehr)</translation>
    </message>
    <message>
        <source>Tech Support</source>
        <translation>Technischer Support</translation>
    </message>
    <message>
        <source>Sales Support</source>
        <translation>Vertrieb</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>Add File (Ctrl+O, Insert)</source>
        <translation>Datei hinzufügen (Strg+O, Einfg)</translation>
    </message>
    <message>
        <source>Add Directory (Ctrl+Shift+O)</source>
        <translation>Ordner hinzufügen (Strg+Umschalt+O)</translation>
    </message>
    <message>
        <source>Remove (Delete)</source>
        <translation>Entfernen (Entf)</translation>
    </message>
    <message>
        <source>Clear (Backspace)</source>
        <translation>Leeren (Rücktaste)</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Help (F1)</source>
        <translation>Hilfe (F1)</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>Profil:</translation>
    </message>
    <message>
        <source>&amp;Setting</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>Output Path:</source>
        <translation>Ausgabepfad:</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Durchsuchen</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Converting:</source>
        <translation>Umwandlung:</translation>
    </message>
    <message>
        <source>No File</source>
        <translation>Keine Datei</translation>
    </message>
    <message>
        <source>Time Elapsed:</source>
        <translation>Vergangene Zeit:</translation>
    </message>
    <message>
        <source>Time Remaining:</source>
        <translation>Restzeit:</translation>
    </message>
    <message>
        <source>Current Progress:</source>
        <translation>Aktueller Fortschritt:</translation>
    </message>
    <message>
        <source>Total Progress:</source>
        <translation>Gesamtfortschritt:</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Add Files...</source>
        <translation>Dateien hinzufügen...</translation>
    </message>
    <message>
        <source>Add Directorys...</source>
        <translation>Ordner hinzufügen...</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Remove Completed</source>
        <translation>Fertige entfernen</translation>
    </message>
    <message>
        <source>Retry Failed</source>
        <translation>Fehlgeschlagene wiederholen</translation>
    </message>
    <message>
        <source>Move Up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>Move Down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Engine Output...</source>
        <translation>Ausgabe des Konverters...</translation>
    </message>
    <message>
        <source>A conversion is running. Stop it and exit?</source>
        <translation>Eine Umwandlung läuft. Anhalten und beenden?</translation>
    </message>
    <message>
        <source>Select the output directory.</source>
        <translation>Wählen Sie den Ausgabeordner.</translation>
    </message>
    <message>
        <source>Turn off</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <source>The computer will be turned off in %1 seconds.</source>
        <translation>Der Computer wird in %1 Sekunden ausgeschaltet.</translation>
    </message>
    <message>
        <source>Add File</source>
        <translation>Datei hinzufügen</translation>
    </message>
    <message>
        <source>Adds video files to the list.</source>
        <translation>Fügt der Liste Videodateien hinzu.</translation>
    </message>
    <message>
        <source>Add Directory</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Adds the video files of a folder to the list.</source>
        <translation>Fügt der Liste die Videodateien eines Ordners hinzu.</translation>
    </message>
    <message>
        <source>Removes the selected files from the list.</source>
        <translation>Entfernt die ausgewählten Dateien aus der Liste.</translation>
    </message>
    <message>
        <source>Removes every file from the list.</source>
        <translation>Entfernt alle Dateien aus der Liste.</translation>
    </message>
    <message>
        <source>Opens the settings.</source>
        <translation>Öffnet die Einstellungen.</translation>
    </message>
    <message>
        <source>Shows the program&apos;s version and makers.</source>
        <translation>Zeigt die Version und die Hersteller des Programms.</translation>
    </message>
    <message>
        <source>Opens the manual.</source>
        <translation>Öffnet das Handbuch.</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>Files to convert</source>
        <translation>Umzuwandelnde Dateien</translation>
    </message>
    <message>
        <source>Input file, length, size and status of each file.</source>
        <translation>Eingabedatei, Länge, Größe und Status jeder Datei.</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>The kind of file the conversion makes.</source>
        <translation>Die Art der Datei, die die Umwandlung erzeugt.</translation>
    </message>
    <message>
        <source>Output Path</source>
        <translation>Ausgabepfad</translation>
    </message>
    <message>
        <source>The folder the converted files go to.</source>
        <translation>Der Ordner, in den die umgewandelten Dateien kommen.</translation>
    </message>
    <message>
        <source>Converts the files of the list (F5).</source>
        <translation>Wandelt die Dateien der Liste um (F5).</translation>
    </message>
    <message>
        <source>Stops the conversion (Esc).</source>
        <translation>Hält die Umwandlung an (Esc).</translation>
    </message>
    <message>
        <source>Start (F5)</source>
        <translation>Starten (F5)</translation>
    </message>
    <message>
        <source>Stop (Esc)</source>
        <translation>Anhalten (Esc)</translation>
    </message>
    <message>
        <source>Beside each input file</source>
        <translation>Neben jeder Eingabedatei</translation>
    </message>
    <message>
        <source>No program on this computer opens folders. The outputs are in %1</source>
        <translation>Kein Programm auf diesem Computer öffnet Ordner. Die Ausgaben liegen in %1</translation>
    </message>
    <message>
        <source>No web browser opens the manual. It is the file %1; any web browser shows it.</source>
        <translation>Kein Webbrowser öffnet das Handbuch. Es ist die Datei %1; jeder Webbrowser zeigt sie an.</translation>
    </message>
</context>
<context>
    <name>TSettingForm</name>
    <message>
        <source>Into the output folder</source>
        <translation>In den Ausgabeordner</translation>
    </message>
    <message>
        <source>Keep the folder tree</source>
        <translation>Ordnerstruktur beibehalten</translation>
    </message>
    <message>
        <source>Beside each input</source>
        <translation>Neben jede Eingabe</translation>
    </message>
    <message>
        <source>Outputs go:</source>
        <translation>Ausgaben:</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>     General     </source>
        <translation>  Allgemein  </translation>
    </message>
    <message>
        <source>     Profiles     </source>
        <translation>   Profile   </translation>
    </message>
    <message>
        <source>&amp;Load Default</source>
        <translation>&amp;Standard laden</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Default Output Path:</source>
        <translation>Standard-Ausgabepfad:</translation>
    </message>
    <message>
        <source>Synchronization Mode:</source>
        <translation>Synchronisierung:</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Force Mode</source>
        <translation>Erzwungen</translation>
    </message>
    <message>
        <source>Progressive Mode</source>
        <translation>Progressiv</translation>
    </message>
    <message>
        <source>Open the output directory when the task is completed. </source>
        <translation>Ausgabeordner nach Abschluss öffnen. </translation>
    </message>
    <message>
        <source>Exit the program when the task is completed.</source>
        <translation>Programm nach Abschluss beenden.</translation>
    </message>
    <message>
        <source>Turn off the computer when the task is completed.</source>
        <translation>Computer nach Abschluss ausschalten.</translation>
    </message>
    <message>
        <source>Output File Overwrite</source>
        <translation>Vorhandene Ausgabedateien</translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation>Überschreiben</translation>
    </message>
    <message>
        <source>Not overwrite (Rename to &lt;Filename&gt; + Index</source>
        <translation>Nicht überschreiben (&lt;Dateiname&gt; + Index</translation>
    </message>
    <message>
        <source>Simultaneous conversions:</source>
        <translation>Gleichzeitige Umwandlungen:</translation>
    </message>
    <message>
        <source>&amp;Save as...</source>
        <translation>&amp;Speichern unter...</translation>
    </message>
    <message>
        <source>Description:</source>
        <translation>Beschreibung:</translation>
    </message>
    <message>
        <source>Select the output directory.</source>
        <translation>Wählen Sie den Ausgabeordner.</translation>
    </message>
    <message>
        <source>Profiles (*.apf)|*.apf</source>
        <translation>Profile (*.apf)|*.apf</translation>
    </message>
    <message>
        <source>Load Default</source>
        <translation>Standard laden</translation>
    </message>
    <message>
        <source>Are you sure to load the default preferences?</source>
        <translation>Möchten Sie wirklich die Standardeinstellungen laden?</translation>
    </message>
    <message>
        <source>  After Conversion  </source>
        <translation>  Nach Abschluss  </translation>
    </message>
    <message>
        <source>Keep the original when the output is not smaller</source>
        <translation>Original behalten, wenn die Ausgabe nicht kleiner ist</translation>
    </message>
    <message>
        <source>Keep the source&apos;s dates and tags</source>
        <translation>Datum und Tags der Quelle übernehmen</translation>
    </message>
    <message>
        <source>When a file converted well:</source>
        <translation>Wenn eine Datei erfolgreich konvertiert wurde:</translation>
    </message>
    <message>
        <source>Keep the original</source>
        <translation>Original behalten</translation>
    </message>
    <message>
        <source>Move the original to the trash</source>
        <translation>Original in den Papierkorb verschieben</translation>
    </message>
    <message>
        <source>Delete the original</source>
        <translation>Original löschen</translation>
    </message>
    <message>
        <source>Run when done</source>
        <translation>Danach ausführen</translation>
    </message>
    <message>
        <source>For each file:</source>
        <translation>Für jede Datei:</translation>
    </message>
    <message>
        <source>For the batch:</source>
        <translation>Für den Stapel:</translation>
    </message>
    <message>
        <source>A program and its arguments, run without a shell. The file&apos;s paths and its status are in VANTORIX_INPUT, VANTORIX_OUTPUT, VANTORIX_STATUS and VANTORIX_ORIGINAL.</source>
        <translation>Ein Programm mit seinen Argumenten, ohne Shell ausgeführt. Die Pfade der Datei und ihr Status stehen in VANTORIX_INPUT, VANTORIX_OUTPUT, VANTORIX_STATUS und VANTORIX_ORIGINAL.</translation>
    </message>
    <message>
        <source>Hosts</source>
        <translation>Rechner</translation>
    </message>
    <message>
        <source>Convert on:</source>
        <translation>Umwandeln auf:</translation>
    </message>
    <message>
        <source>this computer</source>
        <translation>diesem Computer</translation>
    </message>
    <message>
        <source>these hosts:</source>
        <translation>diesen Rechnern:</translation>
    </message>
    <message>
        <source>All files (*)|*</source>
        <translation>Alle Dateien (*)|*</translation>
    </message>
    <message>
        <source>SSH configuration file (may stay empty):</source>
        <translation>SSH-Konfigurationsdatei (darf leer bleiben):</translation>
    </message>
    <message>
        <source>The hosts file names a host a line: [N/][user@]host, where N is how many files convert at once there (else as many as &quot;Simultaneous conversions&quot;), and &quot;:&quot; is this computer. Each host is reached with ssh without a password; the program is sent to it. The outputs come back to the output folder.</source>
        <translation>Die Rechnerdatei nennt einen Rechner je Zeile: [N/][benutzer@]rechner, wobei N angibt, wie viele Dateien dort gleichzeitig umgewandelt werden (sonst so viele wie bei &quot;Gleichzeitige Umwandlungen&quot;); &quot;:&quot; ist dieser Computer. Jeder Rechner wird mit ssh ohne Passwort erreicht; das Programm wird ihm geschickt. Die Ausgaben kommen in den Ausgabeordner zurück.</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Split files longer than N minutes</source>
        <translation>Dateien länger als N Minuten aufteilen</translation>
    </message>
</context>
<context>
    <name>TSizeForm</name>
    <message>
        <source>Video Size of output files</source>
        <translation>Videogröße der Ausgabedateien</translation>
    </message>
    <message>
        <source>Width:</source>
        <translation>Breite:</translation>
    </message>
    <message>
        <source>Height:</source>
        <translation>Höhe:</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Incorrect Width</source>
        <translation>Ungültige Breite</translation>
    </message>
    <message>
        <source>Please specify a proper width for output videos.</source>
        <translation>Bitte geben Sie eine gültige Breite für die Ausgabevideos an.</translation>
    </message>
    <message>
        <source>Incorrect Height</source>
        <translation>Ungültige Höhe</translation>
    </message>
    <message>
        <source>Please specify a proper height for output videos.</source>
        <translation>Bitte geben Sie eine gültige Höhe für die Ausgabevideos an.</translation>
    </message>
</context>
<context>
    <name>TaskListController</name>
    <message>
        <source>Adding files: %1 of %2</source>
        <translation>Dateien werden hinzugefügt: %1 von %2</translation>
    </message>
    <message>
        <source>Add a directory to the Task List</source>
        <translation>Einen Ordner zur Aufgabenliste hinzufügen</translation>
    </message>
    <message>
        <source>Adding files</source>
        <translation>Dateien werden hinzugefügt</translation>
    </message>
    <message>
        <source>Invalid file name</source>
        <translation>Ungültiger Dateiname</translation>
    </message>
    <message>
        <source>Tip:</source>
        <translation>Tipp:</translation>
    </message>
    <message>
        <source>Please select a file in Task List.</source>
        <translation>Bitte wählen Sie eine Datei in der Aufgabenliste.</translation>
    </message>
</context>
<context>
    <name>TaskListModel</name>
    <message>
        <source>Input File</source>
        <translation>Eingabedatei</translation>
    </message>
    <message>
        <source>Length</source>
        <translation>Länge</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>TaskListOps</name>
    <message>
        <source>%1 Files (*%2)</source>
        <translation>%1-Dateien (*%2)</translation>
    </message>
    <message>
        <source>All Support Files(%1)</source>
        <translation>Alle unterstützten Dateien(%1)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>The list file &quot;%1&quot; cannot be read: %2.</source>
        <translation>Die Listendatei „%1“ kann nicht gelesen werden: %2.</translation>
    </message>
</context>
<context>
    <name>TaskListRecovery</name>
    <message>
        <source>%1 at byte %2</source>
        <translation>%1 bei Byte %2</translation>
    </message>
    <message>
        <source>not a task list</source>
        <translation>keine Aufgabenliste</translation>
    </message>
    <message>
        <source>a version this program does not know</source>
        <translation>eine Version, die dieses Programm nicht kennt</translation>
    </message>
    <message>
        <source>no rows</source>
        <translation>keine Zeilen</translation>
    </message>
    <message>
        <source>row %1 is incomplete</source>
        <translation>Zeile %1 ist unvollständig</translation>
    </message>
    <message>
        <source>change %1 is incomplete</source>
        <translation>Änderung %1 ist unvollständig</translation>
    </message>
    <message>
        <source>change %1 cannot be read</source>
        <translation>Änderung %1 kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>The last session ended without closing. Restore its %1 %2 to the task list?</source>
        <translation>Die letzte Sitzung endete, ohne geschlossen zu werden. Ihre %1 %2 in die Aufgabenliste zurückholen?</translation>
    </message>
    <message>
        <source>file</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>The task list of an earlier session cannot be read (%1). It was set aside as %2.</source>
        <translation>Die Aufgabenliste einer früheren Sitzung kann nicht gelesen werden (%1). Sie wurde als %2 beiseitegelegt.</translation>
    </message>
    <message>
        <source>The task list of an earlier session cannot be read (%1): %2</source>
        <translation>Die Aufgabenliste einer früheren Sitzung kann nicht gelesen werden (%1): %2</translation>
    </message>
</context>
<context>
    <name>WatchController</name>
    <message>
        <source>Watch Folder...</source>
        <translation>Ordner überwachen...</translation>
    </message>
    <message>
        <source>Watch a directory for new files</source>
        <translation>Einen Ordner auf neue Dateien überwachen</translation>
    </message>
</context>
<context>
    <name>WatchJournal</name>
    <message>
        <source>%1 is a link: the watch journal is never written through one. Remove it, or choose another output folder.</source>
        <translation>%1 ist eine Verknüpfung: Durch eine Verknüpfung wird das Journal der Überwachung nie geschrieben. Entfernen Sie sie oder wählen Sie einen anderen Ausgabeordner.</translation>
    </message>
    <message>
        <source>%1 belongs to another user: the watch journal is kept only in a file of your own. Remove it, or choose another output folder.</source>
        <translation>%1 gehört einem anderen Benutzer: Das Journal der Überwachung wird nur in einer eigenen Datei geführt. Entfernen Sie sie oder wählen Sie einen anderen Ausgabeordner.</translation>
    </message>
    <message>
        <source>%1 has a second name (a hard link): the watch journal is kept only in a file of its own. Remove it, or choose another output folder.</source>
        <translation>%1 hat einen zweiten Namen (einen harten Link): Das Journal der Überwachung wird nur in einer Datei für sich allein geführt. Entfernen Sie sie oder wählen Sie einen anderen Ausgabeordner.</translation>
    </message>
    <message>
        <source>%1 is not a regular file: the watch journal is kept only in a file of its own. Remove it, or choose another output folder.</source>
        <translation>%1 ist keine gewöhnliche Datei: Das Journal der Überwachung wird nur in einer Datei für sich allein geführt. Entfernen Sie sie oder wählen Sie einen anderen Ausgabeordner.</translation>
    </message>
</context>
<context>
    <name>WidgetDialogs</name>
    <message>
        <source>Add a directory to the Task List</source>
        <translation>Einen Ordner zur Aufgabenliste hinzufügen</translation>
    </message>
    <message>
        <source>Include subfolders</source>
        <translation>Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Speichern unter</translation>
    </message>
</context>
<context>
    <name>WorkFolder</name>
    <message>
        <source>The output folder %1 cannot be opened: %2.</source>
        <translation>Der Ausgabeordner %1 kann nicht geöffnet werden: %2.</translation>
    </message>
    <message>
        <source>No work folder can be made in %1: %2.</source>
        <translation>In %1 kann kein Arbeitsordner angelegt werden: %2.</translation>
    </message>
    <message>
        <source>The output was not written in this run&apos;s work folder.</source>
        <translation>Die Ausgabe wurde nicht im Arbeitsordner dieses Laufs geschrieben.</translation>
    </message>
    <message>
        <source>%1 is not in the output folder %2.</source>
        <translation>%1 liegt nicht im Ausgabeordner %2.</translation>
    </message>
    <message>
        <source>The engine&apos;s work folder is gone: %1.</source>
        <translation>Der Arbeitsordner des Konverters ist verschwunden: %1.</translation>
    </message>
    <message>
        <source>The engine wrote no output.</source>
        <translation>Der Konverter hat keine Ausgabe geschrieben.</translation>
    </message>
    <message>
        <source>The output is a link, not a file.</source>
        <translation>Die Ausgabe ist eine Verknüpfung, keine Datei.</translation>
    </message>
    <message>
        <source>The output cannot be read: %1.</source>
        <translation>Die Ausgabe kann nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>The output is not a regular file.</source>
        <translation>Die Ausgabe ist keine gewöhnliche Datei.</translation>
    </message>
    <message>
        <source>The output is not the engine&apos;s own file.</source>
        <translation>Die Ausgabe ist nicht die eigene Datei des Konverters.</translation>
    </message>
    <message>
        <source>The output is empty.</source>
        <translation>Die Ausgabe ist leer.</translation>
    </message>
    <message>
        <source>The output could not be saved as %1: %2.</source>
        <translation>Die Ausgabe konnte nicht als %1 gespeichert werden: %2.</translation>
    </message>
    <message>
        <source>The output folder %1 is not below %2.</source>
        <translation>Der Ausgabeordner %1 liegt nicht unter %2.</translation>
    </message>
    <message>
        <source>The output folder %1 cannot be made: %2.</source>
        <translation>Der Ausgabeordner %1 kann nicht angelegt werden: %2.</translation>
    </message>
    <message>
        <source>%1 is a link or a file, not a folder: no output is written through it.</source>
        <translation>%1 ist eine Verknüpfung oder eine Datei, kein Ordner: Darüber wird keine Ausgabe geschrieben.</translation>
    </message>
    <message>
        <source>The output&apos;s date could not be set: %1.</source>
        <translation>Das Datum der Ausgabe konnte nicht gesetzt werden: %1.</translation>
    </message>
</context>
<context>
    <name>Worker</name>
    <message>
        <source>the engine does not start on this host: %1</source>
        <translation>die Engine startet auf diesem Rechner nicht: %1</translation>
    </message>
    <message>
        <source>the task came damaged: %1</source>
        <translation>die Aufgabe kam beschädigt an: %1</translation>
    </message>
    <message>
        <source>no work folder can be made in %1: %2</source>
        <translation>in %1 kann kein Arbeitsordner angelegt werden: %2</translation>
    </message>
    <message>
        <source>the input cannot be written here: %1</source>
        <translation>die Eingabe kann hier nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>the input arrived damaged</source>
        <translation>die Eingabe kam beschädigt an</translation>
    </message>
    <message>
        <source>the engine reported &quot;%1&quot; on this host</source>
        <translation>die Engine meldete „%1“ auf diesem Rechner</translation>
    </message>
    <message>
        <source>the engine does not run: %1 %2</source>
        <translation>die Engine läuft nicht: %1 %2</translation>
    </message>
    <message>
        <source>nothing can be written in %1: %2</source>
        <translation>in %1 kann nichts geschrieben werden: %2</translation>
    </message>
    <message>
        <source>%1 has no room (%2 MiB free)</source>
        <translation>%1 hat keinen Platz (%2 MiB frei)</translation>
    </message>
</context>
<context>
    <name>WorkerProtocol</name>
    <message>
        <source>no worker answered</source>
        <translation>kein Worker hat geantwortet</translation>
    </message>
    <message>
        <source>a frame without its head</source>
        <translation>ein Rahmen ohne Kopf</translation>
    </message>
    <message>
        <source>a damaged frame head &quot;%1&quot;</source>
        <translation>ein beschädigter Rahmenkopf „%1“</translation>
    </message>
</context>
</TS>

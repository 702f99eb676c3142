<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AccessibleNames</name>
    <message>
        <source>More tools</source>
        <translation>Weitere Werkzeuge</translation>
    </message>
    <message>
        <source>More menus</source>
        <translation>Weitere Menüs</translation>
    </message>
    <message>
        <source>Float or dock the panel</source>
        <translation>Bereich lösen oder andocken</translation>
    </message>
    <message>
        <source>Close the panel</source>
        <translation>Bereich schließen</translation>
    </message>
</context>
<context>
    <name>AddAddressesForm</name>
    <message>
        <source>Enter a hostname or IP address and then press Enter or Tab</source>
        <translation>Geben Sie einen Hostnamen oder eine IP-Adresse ein und drücken Sie dann Enter oder Tab</translation>
    </message>
    <message>
        <source>This is green because you entered a valid IP address</source>
        <translation>Grün, weil Sie eine gültige IP-Adresse eingegeben haben</translation>
    </message>
    <message>
        <source>This is green because &apos;%1&apos; resolves to %2</source>
        <translation>Grün, weil &apos;%1&apos; zu %2 aufgelöst wird</translation>
    </message>
    <message>
        <source>This is red because DNS could not resolve &apos;%1&apos; to an IP address. You probably want to change this hostname before clicking on the OK button</source>
        <translation>Rot, weil DNS &apos;%1&apos; nicht zu einer IP-Adresse auflösen konnte. Sie sollten diesen Hostnamen wohl ändern, bevor Sie auf OK klicken</translation>
    </message>
    <message>
        <source>This is red because &apos;%1&apos; accepts no mail: its mail exchanger record is a null MX (&quot;.&quot;), so there is no mail server to check</source>
        <translation>Rot, weil &apos;%1&apos; keine E-Mail annimmt: sein Mail-Exchanger-Eintrag ist ein Null-MX (&quot;.&quot;), es gibt also keinen Mailserver zu prüfen</translation>
    </message>
    <message>
        <source>This is red because &apos;%1&apos; has no valid mail exchanger: its mail exchanger record does not name a host</source>
        <translation>Rot, weil &apos;%1&apos; keinen gültigen Mail-Exchanger hat: sein Mail-Exchanger-Eintrag nennt keinen Host</translation>
    </message>
</context>
<context>
    <name>AddEditServer</name>
    <message>
        <source>Server Name</source>
        <translation>Servername</translation>
    </message>
    <message>
        <source>Reponses must be valid IP addresses</source>
        <translation>Antworten müssen gültige IP-Adressen sein</translation>
    </message>
    <message>
        <source>Has a test entry (&quot;test&quot; listed)</source>
        <translation>Hat einen Testeintrag (&quot;test&quot; gelistet)</translation>
    </message>
    <message>
        <source>Has a test entry (127.0.0.2 listed)</source>
        <translation>Hat einen Testeintrag (127.0.0.2 gelistet)</translation>
    </message>
</context>
<context>
    <name>SettingsForm</name>
    <message>
        <source>No Expansion</source>
        <translation>Nicht aufklappen</translation>
    </message>
    <message>
        <source>Expand Servers</source>
        <translation>Server aufklappen</translation>
    </message>
    <message>
        <source>Expand Servers and Responses</source>
        <translation>Server und Antworten aufklappen</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a DNS server address. Enter IP addresses, each with an optional port, separated by commas (for example 192.0.2.1, 192.0.2.1:5353 or [2001:db8::1]:53), or leave the field empty to use the system&apos;s resolvers.</source>
        <translation>&quot;%1&quot; ist keine DNS-Server-Adresse. Geben Sie IP-Adressen ein, jede mit optionalem Port, durch Kommas getrennt (zum Beispiel 192.0.2.1, 192.0.2.1:5353 oder [2001:db8::1]:53), oder lassen Sie das Feld leer, um die Resolver des Systems zu verwenden.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>History not written: %1</source>
        <translation>Verlauf nicht geschrieben: %1</translation>
    </message>
    <message>
        <source>Checks IP addresses, host names and e-mail addresses against DNS blacklists, in a
window.
A command line that mentions &quot;.BlackList&quot; (any letter case) is the path of a
list to open at start-up; quotes in it are dropped. Qt&apos;s options (-platform,
-style, ...) are accepted. quarlo-check checks from the command line.</source>
        <translation>Prüft IP-Adressen, Hostnamen und E-Mail-Adressen gegen DNS-Blacklists, in einem
Fenster.
Eine Befehlszeile, die &quot;.BlackList&quot; enthält (in beliebiger Schreibung), ist der Pfad
einer Liste, die beim Start geöffnet wird; Anführungszeichen darin fallen weg. Die
Optionen von Qt (-platform, -style, ...) werden angenommen. quarlo-check prüft von
der Befehlszeile aus.</translation>
    </message>
    <message>
        <source>Show these options and exit.</source>
        <translation>Diese Optionen zeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the program&apos;s version and exit.</source>
        <translation>Die Version des Programms zeigen und beenden.</translation>
    </message>
    <message>
        <source>Started by an automation client over the session bus (first argument only): no list is opened and no tip is shown.</source>
        <translation>Von einem Automatisierungsclient über den Sitzungsbus gestartet (nur als erstes Argument): keine Liste wird geöffnet und kein Tipp gezeigt.</translation>
    </message>
    <message>
        <source>A .BlackList address list to open.</source>
        <translation>Eine zu öffnende .BlackList-Adressliste.</translation>
    </message>
</context>
<context>
    <name>quarlo::AboutDialog</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Part of %1: %2</source>
        <translation>Teil von %1: %2</translation>
    </message>
    <message>
        <source>Part of %1</source>
        <translation>Teil von %1</translation>
    </message>
</context>
<context>
    <name>quarlo::AddAddressesForm</name>
    <message>
        <source>Add New Addresses ...</source>
        <translation>Neue Adressen hinzufügen ...</translation>
    </message>
    <message>
        <source>Enter Hostnames or IP Addresses of E-Mail servers, firewalls, etc. to check. You may also enter E-Mail addresses.</source>
        <translation>Geben Sie Hostnamen oder IP-Adressen von Mailservern, Firewalls usw. zur Prüfung ein. Sie können auch E-Mail-Adressen eingeben.</translation>
    </message>
    <message>
        <source>C&amp;ut</source>
        <translation>&amp;Ausschneiden</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Einfügen</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Auto Start Scan</source>
        <translation>Prüfung automatisch starten</translation>
    </message>
    <message>
        <source>Add IPv6 Addresses</source>
        <translation>IPv6-Adressen hinzufügen</translation>
    </message>
    <message>
        <source>Also add the IPv6 addresses of the host names and mail servers you enter</source>
        <translation>Auch die IPv6-Adressen der eingegebenen Hostnamen und Mailserver hinzufügen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>OK to add these host(s) to the watch list</source>
        <translation>OK, um diese Hosts der Liste hinzuzufügen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Abort adding these host(s) to the watch lists</source>
        <translation>Das Hinzufügen dieser Hosts abbrechen</translation>
    </message>
    <message>
        <source>Discard 1 entry?</source>
        <translation>1 Eintrag verwerfen?</translation>
    </message>
    <message>
        <source>Discard %1 entries?</source>
        <translation>%1 Einträge verwerfen?</translation>
    </message>
    <message>
        <source>This is green because you entered a network range: %1, %2 addresses from %3 to %4</source>
        <translation>Grün, weil Sie einen Netzbereich eingegeben haben: %1, %2 Adressen von %3 bis %4</translation>
    </message>
    <message>
        <source>This is red because %1</source>
        <translation>Rot, weil: %1</translation>
    </message>
    <message>
        <source>This is red because an IPv6 address with a zone index (%...) names a network interface of this computer; enter the address without it</source>
        <translation>Rot, weil eine IPv6-Adresse mit Zonenindex (%...) eine Netzwerkschnittstelle dieses Computers bezeichnet; geben Sie die Adresse ohne ihn ein</translation>
    </message>
    <message>
        <source>This is green because you entered a valid IPv6 address</source>
        <translation>Grün, weil Sie eine gültige IPv6-Adresse eingegeben haben</translation>
    </message>
    <message>
        <source>This is green because you entered an IPv4-mapped IPv6 address; it is checked as %1</source>
        <translation>Grün, weil Sie eine IPv4-gemappte IPv6-Adresse eingegeben haben; sie wird als %1 geprüft</translation>
    </message>
    <message>
        <source>This is green because the mail server of &apos;%1&apos; is %2, which resolves to %3</source>
        <translation>Grün, weil der Mailserver von &apos;%1&apos; %2 ist, der zu %3 aufgelöst wird</translation>
    </message>
    <message>
        <source>This is green because it is an IPv6 address of %1</source>
        <translation>Grün, weil es eine IPv6-Adresse von %1 ist</translation>
    </message>
    <message>
        <source>%1: the list would hold more than %2 addresses</source>
        <translation>%1: die Liste hätte mehr als %2 Adressen</translation>
    </message>
    <message>
        <source>Add all %1 addresses of %2?</source>
        <translation>Alle %1 Adressen von %2 hinzufügen?</translation>
    </message>
    <message>
        <source>These ranges were not added:

</source>
        <translation>Diese Bereiche wurden nicht hinzugefügt:

</translation>
    </message>
</context>
<context>
    <name>quarlo::AddEditServer</name>
    <message>
        <source>Add / Edit Server</source>
        <translation>Server hinzufügen / bearbeiten</translation>
    </message>
    <message>
        <source>Blacklist Server</source>
        <translation>Blacklist-Server</translation>
    </message>
    <message>
        <source>Bit Map Response Codes</source>
        <translation>Antwortcodes als Bitmaske</translation>
    </message>
    <message>
        <source>IP list</source>
        <translation>IP-Liste</translation>
    </message>
    <message>
        <source>Domain list</source>
        <translation>Domainliste</translation>
    </message>
    <message>
        <source>Answers IPv6 queries</source>
        <translation>Beantwortet IPv6-Anfragen</translation>
    </message>
    <message>
        <source>Ticked, a scan first asks the list for its test entry and counts its &quot;not listed&quot; answers only when the entry is listed. Clear it only for a list that has no test entry.</source>
        <translation>Angekreuzt fragt eine Prüfung die Liste zuerst nach ihrem Testeintrag und zählt ihre Antworten &quot;nicht gelistet&quot; nur, wenn der Eintrag gelistet ist. Nur für eine Liste ohne Testeintrag abwählen.</translation>
    </message>
    <message>
        <source>Blacklist Server Name</source>
        <translation>Name des Blacklist-Servers</translation>
    </message>
    <message>
        <source>DNS Domain</source>
        <translation>DNS-Domain</translation>
    </message>
    <message>
        <source>Homepage URL</source>
        <translation>Homepage-URL</translation>
    </message>
    <message>
        <source>List Kind</source>
        <translation>Art der Liste</translation>
    </message>
    <message>
        <source>Response Definitions</source>
        <translation>Antwortdefinitionen</translation>
    </message>
    <message>
        <source>Response</source>
        <translation>Antwort</translation>
    </message>
    <message>
        <source>Definition</source>
        <translation>Bedeutung</translation>
    </message>
    <message>
        <source>Not a listing</source>
        <translation>Keine Listung</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Fill in the Blacklist Server Name.</source>
        <translation>Bitte den Namen des Blacklist-Servers eingeben.</translation>
    </message>
    <message>
        <source>Fill in the DNS Domain: the zone the list answers in, such as bl.example.org.</source>
        <translation>Bitte die DNS-Domain eingeben: die Zone, in der die Liste antwortet, etwa bl.example.org.</translation>
    </message>
    <message>
        <source>The DNS Domain &quot;%1&quot; is not a DNS zone: letters, digits and hyphens in labels separated by dots, such as bl.example.org.</source>
        <translation>Die DNS-Domain &quot;%1&quot; ist keine DNS-Zone: Buchstaben, Ziffern und Bindestriche in durch Punkte getrennten Teilen, etwa bl.example.org.</translation>
    </message>
    <message>
        <source>%1 is already in the list of blacklist servers.</source>
        <translation>%1 ist bereits in der Liste der Blacklist-Server.</translation>
    </message>
    <message>
        <source>Fill in the Definition of the response %1.</source>
        <translation>Bitte die Bedeutung der Antwort %1 eingeben.</translation>
    </message>
    <message>
        <source>Fill in the Response of &quot;%1&quot;.</source>
        <translation>Bitte die Antwort zu &quot;%1&quot; eingeben.</translation>
    </message>
    <message>
        <source>The response %1 is not in 127.0.0.0/8, where blacklists answer.</source>
        <translation>Die Antwort %1 liegt nicht in 127.0.0.0/8, wo Blacklists antworten.</translation>
    </message>
    <message>
        <source>Enter at least one Response with its Definition: the answers the list gives.</source>
        <translation>Bitte mindestens eine Antwort mit ihrer Bedeutung eingeben: die Antworten, die die Liste gibt.</translation>
    </message>
    <message>
        <source>Discard the changes to this server?</source>
        <translation>Die Änderungen an diesem Server verwerfen?</translation>
    </message>
    <message>
        <source>Public list (never sent private or reserved addresses)</source>
        <translation>Öffentliche Liste (erhält nie private oder reservierte Adressen)</translation>
    </message>
    <message>
        <source>Tick it for a list run by an outside operator: private, loopback, documentation and other special-purpose addresses are never sent to it and are reported as not applicable. Leave it clear for your own list or a local mirror, which are asked for every address.</source>
        <translation>Für eine Liste eines fremden Betreibers ankreuzen: private, Loopback-, Dokumentations- und andere Adressen für besondere Zwecke werden ihr nie geschickt und als nicht zutreffend gemeldet. Für eine eigene Liste oder einen lokalen Spiegel frei lassen; diese werden nach jeder Adresse gefragt.</translation>
    </message>
    <message>
        <source>the program&apos;s DNS servers</source>
        <translation>die DNS-Server des Programms</translation>
    </message>
    <message>
        <source>The resolvers this list alone is asked through: IP addresses with an optional port, separated by commas (192.0.2.53, [2001:db8::53]:5353). Empty: the DNS servers of the settings.</source>
        <translation>Die Resolver, über die nur diese Liste gefragt wird: IP-Adressen mit optionalem Port, durch Kommas getrennt (192.0.2.53, [2001:db8::53]:5353). Leer: die DNS-Server der Einstellungen.</translation>
    </message>
    <message>
        <source>List&apos;s DNS servers</source>
        <translation>DNS-Server der Liste</translation>
    </message>
    <message>
        <source>The name the key is kept under; lists of one operator share it. Empty: the name the zone gives. quarlo-check takes the same key as --key NAME=KEY or QUARLO_KEY_NAME.</source>
        <translation>Der Name, unter dem der Schlüssel gespeichert wird; Listen eines Betreibers teilen ihn. Leer: der Name aus der Zone. quarlo-check nimmt denselben Schlüssel als --key NAME=KEY oder QUARLO_KEY_NAME.</translation>
    </message>
    <message>
        <source>Access key name</source>
        <translation>Name des Zugangsschlüssels</translation>
    </message>
    <message>
        <source>Your key for the operator&apos;s service; kept in your own settings, never in the server list file.</source>
        <translation>Ihr Schlüssel für den Dienst des Betreibers; er wird in Ihren eigenen Einstellungen gespeichert, nie in der Datei der Serverliste.</translation>
    </message>
    <message>
        <source>Access key</source>
        <translation>Zugangsschlüssel</translation>
    </message>
    <message>
        <source>No access key: this list is skipped until a key is set.</source>
        <translation>Kein Zugangsschlüssel: Diese Liste wird übersprungen, bis ein Schlüssel gesetzt ist.</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>Verbergen</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Zeigen</translation>
    </message>
    <message>
        <source>Hide the access key</source>
        <translation>Zugangsschlüssel verbergen</translation>
    </message>
    <message>
        <source>Show the access key</source>
        <translation>Zugangsschlüssel zeigen</translation>
    </message>
    <message>
        <source>The List&apos;s DNS servers entry &quot;%1&quot; is not a DNS server address. Enter IP addresses, each with an optional port, separated by commas (192.0.2.53, 192.0.2.54:5353), or leave the field empty to use the program&apos;s DNS servers.</source>
        <translation>Der Eintrag &quot;%1&quot; unter DNS-Server der Liste ist keine DNS-Server-Adresse. Geben Sie IP-Adressen ein, jede mit optionalem Port, durch Kommas getrennt (192.0.2.53, 192.0.2.54:5353), oder lassen Sie das Feld leer, um die DNS-Server des Programms zu verwenden.</translation>
    </message>
    <message>
        <source>The Access key can hold only letters, digits and hyphens, at most 63 of them: it is put into the zone&apos;s name.</source>
        <translation>Der Zugangsschlüssel darf nur Buchstaben, Ziffern und Bindestriche enthalten, höchstens 63: Er wird in den Namen der Zone eingesetzt.</translation>
    </message>
    <message>
        <source>given by the environment; a key typed here is stored for you</source>
        <translation>aus der Umgebung; ein hier eingegebener Schlüssel wird für Sie gespeichert</translation>
    </message>
</context>
<context>
    <name>quarlo::Application</name>
    <message>
        <source>Address List (*%1)|*%1|All Files (*.*)|*.*</source>
        <translation>Adressliste (*%1)|*%1|Alle Dateien (*.*)|*.*</translation>
    </message>
    <message>
        <source>Do you want to save changes to %1 ?</source>
        <translation>Möchten Sie die Änderungen an %1 speichern?</translation>
    </message>
    <message>
        <source>Load Address List ...</source>
        <translation>Adressliste laden ...</translation>
    </message>
    <message>
        <source>Cannot load address list from %1</source>
        <translation>Die Adressliste kann nicht aus %1 geladen werden</translation>
    </message>
    <message>
        <source>Load Address List</source>
        <translation>Adressliste laden</translation>
    </message>
    <message>
        <source>Load all %1 addresses of %2?</source>
        <translation>Alle %1 Adressen von %2 laden?</translation>
    </message>
    <message>
        <source>These entries were not loaded:</source>
        <translation>Diese Einträge wurden nicht geladen:</translation>
    </message>
    <message>
        <source>Save Address List as ...</source>
        <translation>Adressliste speichern unter ...</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 ist bereits vorhanden.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>Save Address List</source>
        <translation>Adressliste speichern</translation>
    </message>
    <message>
        <source>No scan was started: the blacklist servers could not be loaded, and without them every address would be called clean.</source>
        <translation>Es wurde keine Prüfung gestartet: die Blacklist-Server konnten nicht geladen werden, und ohne sie würde jede Adresse als sauber gelten.</translation>
    </message>
    <message>
        <source>Correct the file and start the program again, or set up the servers under Settings and save them.</source>
        <translation>Berichtigen Sie die Datei und starten Sie das Programm neu, oder richten Sie die Server unter Einstellungen ein und speichern Sie sie.</translation>
    </message>
</context>
<context>
    <name>quarlo::DesktopNotifier</name>
    <message>
        <source>1 address newly listed</source>
        <translation>1 Adresse neu gelistet</translation>
    </message>
    <message>
        <source>%1 addresses newly listed</source>
        <translation>%1 Adressen neu gelistet</translation>
    </message>
    <message>
        <source>%1 delisted</source>
        <translation>%1 ausgetragen</translation>
    </message>
    <message>
        <source>1 address delisted</source>
        <translation>1 Adresse ausgetragen</translation>
    </message>
    <message>
        <source>%1 addresses delisted</source>
        <translation>%1 Adressen ausgetragen</translation>
    </message>
    <message>
        <source>%1 listed by %2</source>
        <translation>%1 gelistet von %2</translation>
    </message>
    <message>
        <source>%1 delisted by %2</source>
        <translation>%1 ausgetragen von %2</translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation>und %1 weitere</translation>
    </message>
</context>
<context>
    <name>quarlo::EngineText</name>
    <message>
        <source>empty host name</source>
        <translation>leerer Hostname</translation>
    </message>
    <message>
        <source>host name longer than 253 characters</source>
        <translation>Hostname länger als 253 Zeichen</translation>
    </message>
    <message>
        <source>not a valid international domain name</source>
        <translation>kein gültiger internationaler Domainname</translation>
    </message>
    <message>
        <source>empty label in host name</source>
        <translation>leerer Namensteil im Hostnamen</translation>
    </message>
    <message>
        <source>label longer than 63 characters</source>
        <translation>Namensteil länger als 63 Zeichen</translation>
    </message>
    <message>
        <source>not a valid host name</source>
        <translation>kein gültiger Hostname</translation>
    </message>
    <message>
        <source>no mail</source>
        <translation>keine Mail</translation>
    </message>
    <message>
        <source>an IPv6 address with a zone index (%...) names a local interface; enter the address without it</source>
        <translation>eine IPv6-Adresse mit Zonenindex (%...) bezeichnet eine lokale Schnittstelle; geben Sie die Adresse ohne ihn ein</translation>
    </message>
    <message>
        <source>neither an IPv6 address nor a host name</source>
        <translation>weder eine IPv6-Adresse noch ein Hostname</translation>
    </message>
    <message>
        <source>lookup failed</source>
        <translation>Abfrage fehlgeschlagen</translation>
    </message>
    <message>
        <source>a domain list, asked for domain names, not for IP addresses</source>
        <translation>eine Domainliste, gefragt nach Domainnamen, nicht nach IP-Adressen</translation>
    </message>
    <message>
        <source>private/reserved address</source>
        <translation>private/reservierte Adresse</translation>
    </message>
    <message>
        <source>does not answer IPv6 queries</source>
        <translation>beantwortet keine IPv6-Abfragen</translation>
    </message>
    <message>
        <source>an IP list; the host name has no address</source>
        <translation>eine IP-Liste; der Hostname hat keine Adresse</translation>
    </message>
    <message>
        <source>an IP list; the target&apos;s addresses could not be looked up</source>
        <translation>eine IP-Liste; die Adressen des Ziels konnten nicht ermittelt werden</translation>
    </message>
    <message>
        <source>an IP list; an e-mail address has no address of its own</source>
        <translation>eine IP-Liste; eine E-Mail-Adresse hat keine eigene IP-Adresse</translation>
    </message>
    <message>
        <source>no blacklist server is enabled</source>
        <translation>kein Blacklist-Server ist aktiviert</translation>
    </message>
    <message>
        <source>Unresolvable</source>
        <translation>Nicht auflösbar</translation>
    </message>
    <message>
        <source>%1 more</source>
        <translation>%1 weitere</translation>
    </message>
    <message>
        <source>e-mail address: not an address literal: %1</source>
        <translation>E-Mail-Adresse: kein Adressliteral: %1</translation>
    </message>
    <message>
        <source>e-mail address: %1</source>
        <translation>E-Mail-Adresse: %1</translation>
    </message>
    <message>
        <source>a domain list; %1 is itself a public suffix</source>
        <translation>eine Domainliste; %1 ist selbst ein öffentliches Suffix</translation>
    </message>
    <message>
        <source>answered %1, outside 127.0.0.0/8</source>
        <translation>antwortete %1, außerhalb von 127.0.0.0/8</translation>
    </message>
    <message>
        <source>DNS error %1</source>
        <translation>DNS-Fehler %1</translation>
    </message>
    <message>
        <source>answered</source>
        <translation>beantwortet</translation>
    </message>
    <message>
        <source>no address record</source>
        <translation>kein Adresseintrag</translation>
    </message>
    <message>
        <source>format error (FORMERR)</source>
        <translation>Formatfehler (FORMERR)</translation>
    </message>
    <message>
        <source>server failure (SERVFAIL)</source>
        <translation>Serverfehler (SERVFAIL)</translation>
    </message>
    <message>
        <source>name not found (NXDOMAIN)</source>
        <translation>Name nicht gefunden (NXDOMAIN)</translation>
    </message>
    <message>
        <source>not implemented (NOTIMP)</source>
        <translation>nicht implementiert (NOTIMP)</translation>
    </message>
    <message>
        <source>refused by the DNS server</source>
        <translation>vom DNS-Server verweigert</translation>
    </message>
    <message>
        <source>no DNS server at that address: connection refused</source>
        <translation>kein DNS-Server unter dieser Adresse: Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>not a valid DNS name</source>
        <translation>kein gültiger DNS-Name</translation>
    </message>
    <message>
        <source>unreadable answer</source>
        <translation>unlesbare Antwort</translation>
    </message>
    <message>
        <source>timed out</source>
        <translation>Zeitüberschreitung</translation>
    </message>
    <message>
        <source>CNAME chain loops or is too long</source>
        <translation>CNAME-Kette im Kreis oder zu lang</translation>
    </message>
    <message>
        <source>No DNS reply came for %1 s; %2 queries were given up as unanswered and their targets are not completely checked</source>
        <translation>%1 s lang kam keine DNS-Antwort; %2 Abfragen wurden als unbeantwortet aufgegeben, ihre Ziele sind nicht vollständig geprüft</translation>
    </message>
    <message>
        <source>no mail server of the domain has an address</source>
        <translation>kein Mailserver der Domain hat eine Adresse</translation>
    </message>
    <message>
        <source>no IPv4 address</source>
        <translation>keine IPv4-Adresse</translation>
    </message>
    <message>
        <source>the mail domain %1 does not exist (NXDOMAIN)</source>
        <translation>die Maildomain %1 existiert nicht (NXDOMAIN)</translation>
    </message>
    <message>
        <source>MX lookup failed: %1</source>
        <translation>MX-Abfrage fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>%1 publishes a null MX: it accepts no mail</source>
        <translation>%1 veröffentlicht einen Null-MX: sie nimmt keine Mail an</translation>
    </message>
    <message>
        <source>an MX record names &quot;%1&quot;, which is no host name</source>
        <translation>ein MX-Eintrag nennt „%1“, das kein Hostname ist</translation>
    </message>
    <message>
        <source>no valid mail exchanger (MX names &quot;%1&quot;)</source>
        <translation>kein gültiger Mailserver (MX nennt „%1“)</translation>
    </message>
    <message>
        <source>%1: %2 lookup failed: %3</source>
        <translation>%1: %2-Abfrage fehlgeschlagen: %3</translation>
    </message>
    <message>
        <source>the mail server %1 has no address</source>
        <translation>der Mailserver %1 hat keine Adresse</translation>
    </message>
    <message>
        <source>%1 did not answer its test query (%2); skipped in this scan</source>
        <translation>%1 hat die Testabfrage nicht beantwortet (%2); in dieser Prüfung ausgelassen</translation>
    </message>
    <message>
        <source>%1 refused its test query: %2; skipped in this scan</source>
        <translation>%1 hat die Testabfrage verweigert: %2; in dieser Prüfung ausgelassen</translation>
    </message>
    <message>
        <source>%1 lists the test name %2, so it would list every name; skipped in this scan</source>
        <translation>%1 listet den Testnamen %2 und würde so jeden Namen listen; in dieser Prüfung ausgelassen</translation>
    </message>
    <message>
        <source>%1 lists the test address %2, so it would list every address; skipped in this scan</source>
        <translation>%1 listet die Testadresse %2 und würde so jede Adresse listen; in dieser Prüfung ausgelassen</translation>
    </message>
    <message>
        <source>%1 does not list the test name %2; its answers could not be verified, so it was skipped in this scan</source>
        <translation>%1 listet den Testnamen %2 nicht; ihre Antworten ließen sich nicht überprüfen, daher wurde sie in dieser Prüfung ausgelassen</translation>
    </message>
    <message>
        <source>%1 does not list the test address %2; its answers could not be verified, so it was skipped in this scan</source>
        <translation>%1 listet die Testadresse %2 nicht; ihre Antworten ließen sich nicht überprüfen, daher wurde sie in dieser Prüfung ausgelassen</translation>
    </message>
    <message>
        <source>%1 holds %2 addresses; ranges larger than a /16 (65,536 addresses) are not scanned: split it into /16 networks or smaller</source>
        <translation>%1 umfasst %2 Adressen; Bereiche größer als ein /16 (65.536 Adressen) werden nicht geprüft: teilen Sie ihn in /16-Netze oder kleinere auf</translation>
    </message>
    <message>
        <source>%1 is an IPv6 range; IPv6 ranges are too large to scan: enter single IPv6 addresses</source>
        <translation>%1 ist ein IPv6-Bereich; IPv6-Bereiche sind zu groß für eine Prüfung: geben Sie einzelne IPv6-Adressen ein</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a network range</source>
        <translation>„%1“ ist kein Netzbereich</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a network range: &apos;%2&apos; is not an IPv4 address</source>
        <translation>„%1“ ist kein Netzbereich: „%2“ ist keine IPv4-Adresse</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a network range: the prefix length after &apos;/&apos; must be a number from 16 to 32</source>
        <translation>„%1“ ist kein Netzbereich: die Präfixlänge nach „/“ muss eine Zahl von 16 bis 32 sein</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a range: its first address %2 comes after its last address %3</source>
        <translation>„%1“ ist kein Bereich: seine erste Adresse %2 liegt nach seiner letzten Adresse %3</translation>
    </message>
    <message>
        <source>Cannot load Address List from %1</source>
        <translation>Die Adressliste kann nicht aus %1 geladen werden</translation>
    </message>
    <message>
        <source>Cannot save Address List to %1</source>
        <translation>Die Adressliste kann nicht in %1 gespeichert werden</translation>
    </message>
    <message>
        <source>It stands for %1 addresses; a list holds at most %2. Split it into smaller lists.</source>
        <translation>Sie steht für %1 Adressen; eine Liste fasst höchstens %2. Teilen Sie sie in kleinere Listen auf.</translation>
    </message>
    <message>
        <source>It stands for more than %1 addresses; a list holds at most %2. Split it into smaller lists.</source>
        <translation>Sie steht für mehr als %1 Adressen; eine Liste fasst höchstens %2. Teilen Sie sie in kleinere Listen auf.</translation>
    </message>
    <message>
        <source>Cannot load Blacklist Servers from %1</source>
        <translation>Die Blacklist-Server können nicht aus %1 geladen werden</translation>
    </message>
    <message>
        <source>It is not a regular file (a device, pipe or socket) and is not read.</source>
        <translation>Sie ist keine gewöhnliche Datei (ein Gerät, eine Pipe oder ein Socket) und wird nicht gelesen.</translation>
    </message>
    <message>
        <source>It is a directory, not a file.</source>
        <translation>Es ist ein Ordner, keine Datei.</translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation>Die Datei existiert nicht.</translation>
    </message>
    <message>
        <source>The file is %1 long; files larger than %2 are not read.</source>
        <translation>Die Datei ist %1 groß; Dateien über %2 werden nicht gelesen.</translation>
    </message>
    <message>
        <source>The file cannot be opened: %1.</source>
        <translation>Die Datei kann nicht geöffnet werden: %1.</translation>
    </message>
    <message>
        <source>The file cannot be read: %1.</source>
        <translation>Die Datei kann nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>It is not well-formed XML: line %1, column %2: %3.</source>
        <translation>Sie ist kein wohlgeformtes XML: Zeile %1, Spalte %2: %3.</translation>
    </message>
    <message>
        <source>Undefined return code of %1</source>
        <translation>Nicht definierter Antwortcode %1</translation>
    </message>
    <message>
        <source>Cannot open the folder %1: %2; nothing was written.</source>
        <translation>Der Ordner %1 kann nicht geöffnet werden: %2; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot look at the folder %1: %2; nothing was written.</source>
        <translation>Der Ordner %1 kann nicht geprüft werden: %2; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot look at the file: %1; nothing was written.</source>
        <translation>Die Datei kann nicht geprüft werden: %1; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot read the symbolic link: %1; nothing was written.</source>
        <translation>Die symbolische Verknüpfung kann nicht gelesen werden: %1; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot write in the folder %1: %2; nothing was written.</source>
        <translation>In den Ordner %1 kann nicht geschrieben werden: %2; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot create a file in %1: %2. The previous file is unchanged.</source>
        <translation>In %1 kann keine Datei angelegt werden: %2. Die bisherige Datei ist unverändert.</translation>
    </message>
    <message>
        <source>Cannot create a file in %1: %2. No file was created.</source>
        <translation>In %1 kann keine Datei angelegt werden: %2. Es wurde keine Datei angelegt.</translation>
    </message>
    <message>
        <source>Cannot set the permissions of the new file: %1. The previous file is unchanged.</source>
        <translation>Die Zugriffsrechte der neuen Datei können nicht gesetzt werden: %1. Die bisherige Datei ist unverändert.</translation>
    </message>
    <message>
        <source>Writing failed: %1. The previous file is unchanged.</source>
        <translation>Das Schreiben ist fehlgeschlagen: %1. Die bisherige Datei ist unverändert.</translation>
    </message>
    <message>
        <source>Writing failed: %1. No file was created.</source>
        <translation>Das Schreiben ist fehlgeschlagen: %1. Es wurde keine Datei angelegt.</translation>
    </message>
    <message>
        <source>Cannot replace the file: %1. The previous file is unchanged.</source>
        <translation>Die Datei kann nicht ersetzt werden: %1. Die bisherige Datei ist unverändert.</translation>
    </message>
    <message>
        <source>Cannot replace the file: %1. No file was created.</source>
        <translation>Die Datei kann nicht ersetzt werden: %1. Es wurde keine Datei angelegt.</translation>
    </message>
    <message>
        <source>No file name was given.</source>
        <translation>Es wurde kein Dateiname angegeben.</translation>
    </message>
    <message>
        <source>It is a directory, not a file; nothing was written.</source>
        <translation>Es ist ein Ordner, keine Datei; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It is a symbolic link; saves do not follow links here, so that a link someone else placed cannot redirect them, and nothing was written.</source>
        <translation>Es ist eine symbolische Verknüpfung; beim Speichern wird Verknüpfungen hier nicht gefolgt, damit eine von jemand anderem angelegte Verknüpfung das Speichern nicht umleiten kann, und es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It is a symbolic link to a file that does not exist; saves do not follow links here, so that a link someone else placed cannot redirect them, and nothing was written.</source>
        <translation>Es ist eine symbolische Verknüpfung auf eine Datei, die nicht existiert; beim Speichern wird Verknüpfungen hier nicht gefolgt, damit eine von jemand anderem angelegte Verknüpfung das Speichern nicht umleiten kann, und es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It is a symbolic link another user placed in a shared folder; it is not followed, and nothing was written.</source>
        <translation>Es ist eine symbolische Verknüpfung, die ein anderer Benutzer in einem gemeinsamen Ordner angelegt hat; ihr wird nicht gefolgt, und es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It is not a regular file (a device, pipe or socket); nothing was written.</source>
        <translation>Sie ist keine gewöhnliche Datei (ein Gerät, eine Pipe oder ein Socket); es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It belongs to another user in a shared folder, where only they may replace it; nothing was written.</source>
        <translation>Sie gehört einem anderen Benutzer in einem gemeinsamen Ordner, in dem nur dieser sie ersetzen darf; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It is not a regular file; nothing was written.</source>
        <translation>Sie ist keine gewöhnliche Datei; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>It is a symbolic link; saves do not follow links here, and nothing was written.</source>
        <translation>Es ist eine symbolische Verknüpfung; beim Speichern wird Verknüpfungen hier nicht gefolgt, und es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot write in the folder %1; nothing was written.</source>
        <translation>In den Ordner %1 kann nicht geschrieben werden; es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Cannot save the settings to %1: %2</source>
        <translation>Die Einstellungen können nicht in %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>%1 changed while it was read.</source>
        <translation>%1 wurde während des Lesens geändert.</translation>
    </message>
    <message>
        <source>%1 is not a regular file; it was left unchanged.</source>
        <translation>%1 ist keine gewöhnliche Datei; sie wurde nicht verändert.</translation>
    </message>
    <message>
        <source>%1 is larger than %2 MiB, so it is not a settings file of this program; it was left unchanged.</source>
        <translation>%1 ist größer als %2 MiB und damit keine Einstellungsdatei dieses Programms; sie wurde nicht verändert.</translation>
    </message>
    <message>
        <source>%1 is not a registry export (it does not begin with &quot;%2&quot; or a key in brackets); it was left unchanged.</source>
        <translation>%1 ist kein Registry-Export (sie beginnt nicht mit „%2“ oder einem Schlüssel in eckigen Klammern); sie wurde nicht verändert.</translation>
    </message>
    <message>
        <source>Cannot create the folder %1.</source>
        <translation>Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Cannot create the lock file %1: %2</source>
        <translation>Die Sperrdatei %1 kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>Another program has been holding the lock file %1 for too long.</source>
        <translation>Ein anderes Programm hält die Sperrdatei %1 schon zu lange.</translation>
    </message>
    <message>
        <source>There is no such registry root.</source>
        <translation>Diesen Registry-Stamm gibt es nicht.</translation>
    </message>
    <message>
        <source>A key path or value name holds characters a registry file cannot store.</source>
        <translation>Ein Schlüsselpfad oder Wertname enthält Zeichen, die eine Registry-Datei nicht speichern kann.</translation>
    </message>
    <message>
        <source>There is no server configuration file to save to.</source>
        <translation>Es gibt keine Server-Konfigurationsdatei, in die gespeichert werden könnte.</translation>
    </message>
    <message>
        <source>Cannot save the option &quot;%1&quot;</source>
        <translation>Die Option „%1“ kann nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Cannot save the option &quot;%1&quot;: %2</source>
        <translation>Die Option „%1“ kann nicht gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Cannot save %1</source>
        <translation>%1 kann nicht gespeichert werden</translation>
    </message>
    <message>
        <source>The existing file could not be read and could not be kept as %1</source>
        <translation>Die vorhandene Datei konnte nicht gelesen und nicht als %1 aufbewahrt werden</translation>
    </message>
    <message>
        <source>The folder %1 could not be created.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
</context>
<context>
    <name>quarlo::HelpMenu</name>
    <message>
        <source>DNS blacklist checker for mail servers, firewalls and gateways</source>
        <translation>DNS-Blacklist-Prüfung für Mailserver, Firewalls und Gateways</translation>
    </message>
    <message>
        <source>mail and network diagnostic tools</source>
        <translation>Werkzeuge zur Mail- und Netzwerkdiagnose</translation>
    </message>
</context>
<context>
    <name>quarlo::HistoryTips</name>
    <message>
        <source>Listed since %1 by %2</source>
        <translation>Gelistet seit %1 von %2</translation>
    </message>
    <message>
        <source>Delisted on %1 by %2</source>
        <translation>Ausgetragen am %1 von %2</translation>
    </message>
</context>
<context>
    <name>quarlo::HistoryView</name>
    <message>
        <source>Lists listing it</source>
        <translation>Listen, die sie listen</translation>
    </message>
    <message>
        <source>Select an address to see its history.</source>
        <translation>Wählen Sie eine Adresse, um ihren Verlauf zu sehen.</translation>
    </message>
    <message>
        <source>No history yet: scans are recorded in %1 once one finishes.</source>
        <translation>Noch kein Verlauf: Prüfungen werden in %1 aufgezeichnet, sobald eine abgeschlossen ist.</translation>
    </message>
    <message>
        <source>History unavailable: %1</source>
        <translation>Verlauf nicht verfügbar: %1</translation>
    </message>
    <message>
        <source>No scan of %1 is recorded yet.</source>
        <translation>Für %1 ist noch keine Prüfung aufgezeichnet.</translation>
    </message>
    <message>
        <source>%1: lists listing it</source>
        <translation>%1: Listen, die sie listen</translation>
    </message>
    <message>
        <source>Listed by %1</source>
        <translation>Gelistet von %1</translation>
    </message>
    <message>
        <source>Delisted by %1</source>
        <translation>Ausgetragen von %1</translation>
    </message>
    <message>
        <source>No list has listed it in the recorded scans.</source>
        <translation>In den aufgezeichneten Prüfungen hat keine Liste sie gelistet.</translation>
    </message>
    <message>
        <source>Since %1: not checked, the host name was not found</source>
        <translation>Seit %1: nicht geprüft, der Hostname wurde nicht gefunden</translation>
    </message>
    <message>
        <source>Since %1: not checked, %2</source>
        <translation>Seit %1: nicht geprüft, %2</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Listed</source>
        <translation>Gelistet</translation>
    </message>
    <message>
        <source>Delisted</source>
        <translation>Ausgetragen</translation>
    </message>
    <message>
        <source>Lists</source>
        <translation>Listen</translation>
    </message>
    <message>
        <source>Listed by %1 on %2</source>
        <translation>Gelistet von %1 am %2</translation>
    </message>
    <message>
        <source>Delisted by %1 on %2</source>
        <translation>Ausgetragen von %1 am %2</translation>
    </message>
</context>
<context>
    <name>quarlo::MainForm</name>
    <message>
        <source>New List</source>
        <translation>Neue Liste</translation>
    </message>
    <message>
        <source>Start a new address list</source>
        <translation>Eine neue Adressliste beginnen</translation>
    </message>
    <message>
        <source>Add Addresses</source>
        <translation>Adressen hinzufügen</translation>
    </message>
    <message>
        <source>Add addresses to the list</source>
        <translation>Adressen zur Liste hinzufügen</translation>
    </message>
    <message>
        <source>Start Scan</source>
        <translation>Prüfung starten</translation>
    </message>
    <message>
        <source>Check every address against the blacklists</source>
        <translation>Jede Adresse gegen die Blacklists prüfen</translation>
    </message>
    <message>
        <source>Stop Scan</source>
        <translation>Prüfung anhalten</translation>
    </message>
    <message>
        <source>Stop the running scan</source>
        <translation>Die laufende Prüfung anhalten</translation>
    </message>
    <message>
        <source>Outstanding Queries</source>
        <translation>Offene Anfragen</translation>
    </message>
    <message>
        <source>The scan checked nothing: no blacklist server is enabled</source>
        <translation>Die Prüfung hat nichts geprüft: kein Blacklist-Server ist aktiviert</translation>
    </message>
    <message>
        <source>Blacklist scan complete</source>
        <translation>Blacklist-Prüfung abgeschlossen</translation>
    </message>
    <message>
        <source>Blacklist scan canceled</source>
        <translation>Blacklist-Prüfung abgebrochen</translation>
    </message>
    <message>
        <source>Don&apos;t show this again</source>
        <translation>Nicht mehr anzeigen</translation>
    </message>
    <message>
        <source>Scanning Blacklist servers ...</source>
        <translation>Blacklist-Server werden geprüft ...</translation>
    </message>
    <message>
        <source>Load Address List</source>
        <translation>Adressliste laden</translation>
    </message>
    <message>
        <source>Loading %1 of %2 addresses ...</source>
        <translation>Lade %1 von %2 Adressen ...</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>verweigert</translation>
    </message>
    <message>
        <source>Your DNS resolver is refused by %1; use your own resolver (DNS Servers option)</source>
        <translation>Ihr DNS-Resolver wird abgewiesen von %1; verwenden Sie einen eigenen Resolver (Option DNS-Server)</translation>
    </message>
    <message>
        <source>No DNS server answered; check your network or the DNS Servers option</source>
        <translation>Kein DNS-Server hat geantwortet; prüfen Sie Ihr Netzwerk oder die Option DNS-Server</translation>
    </message>
    <message>
        <source>No scan runs: %1</source>
        <translation>Keine Prüfung möglich: %1</translation>
    </message>
    <message>
        <source>No blacklist server is enabled: a scan checks nothing. Enable or add servers under Settings.</source>
        <translation>Kein Blacklist-Server ist aktiviert: eine Prüfung prüft nichts. Aktivieren oder fügen Sie Server unter Einstellungen hinzu.</translation>
    </message>
    <message>
        <source>No scan: the blacklist servers could not be loaded</source>
        <translation>Keine Prüfung: die Blacklist-Server konnten nicht geladen werden</translation>
    </message>
    <message>
        <source>Checked %1 of %2 addresses</source>
        <translation>%1 von %2 Adressen geprüft</translation>
    </message>
    <message>
        <source>about %1 left</source>
        <translation>noch etwa %1</translation>
    </message>
    <message>
        <source>Cannot start %1 from %2</source>
        <translation>%1 kann nicht aus %2 gestartet werden</translation>
    </message>
    <message>
        <source>No web browser could be started to show
%1

Open it in a browser of your choice.</source>
        <translation>Es konnte kein Webbrowser gestartet werden, um
%1
anzuzeigen.

Öffnen Sie die Adresse in einem Browser Ihrer Wahl.</translation>
    </message>
    <message>
        <source>No scan can run until the file is corrected and the program started again, or the servers are set up under Settings and saved.</source>
        <translation>Keine Prüfung ist möglich, bis die Datei berichtigt und das Programm neu gestartet ist oder die Server unter Einstellungen eingerichtet und gespeichert sind.</translation>
    </message>
    <message>
        <source>&amp;New Address List ...</source>
        <translation>&amp;Neue Adressliste ...</translation>
    </message>
    <message>
        <source>Creates a new document.</source>
        <translation>Legt ein neues Dokument an.</translation>
    </message>
    <message>
        <source>&amp;Open Address List ...</source>
        <translation>Adressliste ö&amp;ffnen ...</translation>
    </message>
    <message>
        <source>Opens an existing document.</source>
        <translation>Öffnet ein vorhandenes Dokument.</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Saves the active document.</source>
        <translation>Speichert das aktive Dokument.</translation>
    </message>
    <message>
        <source>Save &amp;As ...</source>
        <translation>Speichern &amp;unter ...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>S&amp;chließen</translation>
    </message>
    <message>
        <source>Closes the active document.</source>
        <translation>Schließt das aktive Dokument.</translation>
    </message>
    <message>
        <source>&amp;Print</source>
        <translation>&amp;Drucken</translation>
    </message>
    <message>
        <source>Prints the selected text to the default printer.</source>
        <translation>Druckt den ausgewählten Text auf dem Standarddrucker.</translation>
    </message>
    <message>
        <source>Print Pre&amp;view ...</source>
        <translation>Druck&amp;vorschau ...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Exits the application.</source>
        <translation>Beendet das Programm.</translation>
    </message>
    <message>
        <source>Publish to &amp;Web ...</source>
        <translation>Im &amp;Web veröffentlichen ...</translation>
    </message>
    <message>
        <source>Settin&amp;gs ...</source>
        <translation>Einstellun&amp;gen ...</translation>
    </message>
    <message>
        <source>&amp;Start Blacklist Scan</source>
        <translation>Blacklist-Prüfung &amp;starten</translation>
    </message>
    <message>
        <source>S&amp;top Blacklist Scan</source>
        <translation>Blacklist-Prüfung &amp;anhalten</translation>
    </message>
    <message>
        <source>&amp;History</source>
        <translation>&amp;Verlauf</translation>
    </message>
    <message>
        <source>Shows how the selected address was listed and delisted over time.</source>
        <translation>Zeigt, wie die ausgewählte Adresse im Lauf der Zeit gelistet und ausgetragen wurde.</translation>
    </message>
    <message>
        <source>&amp;Add Address  ...</source>
        <translation>Adresse &amp;hinzufügen ...</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Copies the selected text to the Clipboard.</source>
        <translation>Kopiert den ausgewählten Text in die Zwischenablage.</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Select A&amp;ll</source>
        <translation>&amp;Alles auswählen</translation>
    </message>
    <message>
        <source>Export to &amp;HTML File ...</source>
        <translation>Als &amp;HTML-Datei exportieren ...</translation>
    </message>
    <message>
        <source>Export to &amp;Text File ...</source>
        <translation>Als &amp;Textdatei exportieren ...</translation>
    </message>
    <message>
        <source>Export to &amp;Comma Delimited File ...</source>
        <translation>Als &amp;CSV-Datei (kommagetrennt) exportieren ...</translation>
    </message>
    <message>
        <source>Export directly to E&amp;xcel ...</source>
        <translation>Direkt nach E&amp;xcel exportieren ...</translation>
    </message>
    <message>
        <source>Export to &amp;Excel file ...</source>
        <translation>Als &amp;Excel-Datei exportieren ...</translation>
    </message>
    <message>
        <source>Export to &amp;PDF ..</source>
        <translation>Als &amp;PDF exportieren ...</translation>
    </message>
    <message>
        <source>&amp;Contents ...</source>
        <translation>&amp;Inhalt ...</translation>
    </message>
    <message>
        <source>&amp;Help on Quarlo ...</source>
        <translation>&amp;Hilfe zu Quarlo ...</translation>
    </message>
    <message>
        <source>&amp;Quick Start</source>
        <translation>&amp;Schnellstart</translation>
    </message>
    <message>
        <source>&amp;Tip of the Day ...</source>
        <translation>&amp;Tipp des Tages ...</translation>
    </message>
    <message>
        <source>&amp;About Quarlo ...</source>
        <translation>Ü&amp;ber Quarlo ...</translation>
    </message>
    <message>
        <source>Software &amp;Updates ...</source>
        <translation>Software-&amp;Aktualisierungen ...</translation>
    </message>
    <message>
        <source>&amp;Frequently Asked Questions ...</source>
        <translation>&amp;Häufig gestellte Fragen ...</translation>
    </message>
    <message>
        <source>Provide Feed&amp;back ...</source>
        <translation>&amp;Rückmeldung geben ...</translation>
    </message>
    <message>
        <source>&amp;Export</source>
        <translation>&amp;Exportieren</translation>
    </message>
    <message>
        <source>Send &amp;To</source>
        <translation>Senden &amp;an</translation>
    </message>
    <message>
        <source>Vantorel &amp;Web Site</source>
        <translation>Vantorel-&amp;Website</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Address</source>
        <translation>&amp;Adresse</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Popup Menu</source>
        <translation>Kontextmenü</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Symbolleiste</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
</context>
<context>
    <name>quarlo::ResultCells</name>
    <message>
        <source>Not every list answered:</source>
        <translation>Nicht jede Liste hat geantwortet:</translation>
    </message>
    <message>
        <source>Invalid target</source>
        <translation>Ungültiges Ziel</translation>
    </message>
    <message>
        <source>Not completely checked: %1</source>
        <translation>Nicht vollständig geprüft: %1</translation>
    </message>
    <message>
        <source>Not checked: %1</source>
        <translation>Nicht geprüft: %1</translation>
    </message>
    <message>
        <source>Invalid target: %1</source>
        <translation>Ungültiges Ziel: %1</translation>
    </message>
    <message>
        <source>Host name lookup: %1</source>
        <translation>Abfrage des Hostnamens: %1</translation>
    </message>
    <message>
        <source>%1; IPv6: checked against %2 of %3 lists (the others do not support IPv6)</source>
        <translation>%1; IPv6: gegen %2 von %3 Listen geprüft (die anderen unterstützen IPv6 nicht)</translation>
    </message>
    <message>
        <source>%1; e-mail domain %2: checked against %3 of %4 lists (the IP lists do not apply)</source>
        <translation>%1; E-Mail-Domain %2: gegen %3 von %4 Listen geprüft (die IP-Listen gelten nicht)</translation>
    </message>
    <message>
        <source>%1: no usable answer</source>
        <translation>%1: keine verwertbare Antwort</translation>
    </message>
    <message>
        <source>%1: no usable answer (%2)</source>
        <translation>%1: keine verwertbare Antwort (%2)</translation>
    </message>
    <message>
        <source>%1 refused the query</source>
        <translation>%1 hat die Abfrage verweigert</translation>
    </message>
    <message>
        <source>%1 refused the query: %2</source>
        <translation>%1 hat die Abfrage verweigert: %2</translation>
    </message>
    <message>
        <source>%1: not asked, it failed its test before the scan</source>
        <translation>%1: nicht gefragt, sie hat ihren Test vor der Prüfung nicht bestanden</translation>
    </message>
    <message>
        <source>%1: not applicable (%2)</source>
        <translation>%1: nicht anwendbar (%2)</translation>
    </message>
    <message>
        <source>%1 refused the query. This is not a listing.</source>
        <translation>%1 hat die Abfrage verweigert. Das ist keine Listung.</translation>
    </message>
    <message>
        <source>%1 refused the query: %2. This is not a listing.</source>
        <translation>%1 hat die Abfrage verweigert: %2. Das ist keine Listung.</translation>
    </message>
    <message>
        <source>DNS returned the response of %1</source>
        <translation>DNS lieferte die Antwort %1</translation>
    </message>
    <message>
        <source>DNS returned the response of %1, by which %2 refuses the query. This is not a listing.</source>
        <translation>DNS lieferte die Antwort %1, mit der %2 die Abfrage verweigert. Das ist keine Listung.</translation>
    </message>
</context>
<context>
    <name>quarlo::ResultsModel</name>
    <message>
        <source>Target</source>
        <translation>Ziel</translation>
    </message>
    <message>
        <source>Reason(s) for being Blacklisted</source>
        <translation>Grund/Gründe der Listung</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>Not on any Blacklist</source>
        <translation>Auf keiner Blacklist</translation>
    </message>
    <message numerus="yes">
        <source>Blacklisted by %1 servers</source>
        <translation>
            <numerusform>Von %1 Server gelistet</numerusform>
            <numerusform>Von %1 Servern gelistet</numerusform>
        </translation>
    </message>
    <message>
        <source>Not checked: no enabled list supports IPv6</source>
        <translation>Nicht geprüft: keine aktivierte Liste unterstützt IPv6</translation>
    </message>
    <message>
        <source>Not checked: no enabled list applies to this target</source>
        <translation>Nicht geprüft: keine aktivierte Liste gilt für dieses Ziel</translation>
    </message>
    <message>
        <source>Scanning ...</source>
        <translation>Wird geprüft ...</translation>
    </message>
    <message>
        <source>Not completely checked</source>
        <translation>Nicht vollständig geprüft</translation>
    </message>
    <message>
        <source>Not completely checked: the scan was stopped</source>
        <translation>Nicht vollständig geprüft: die Prüfung wurde angehalten</translation>
    </message>
    <message>
        <source>Not completely checked: %1 of %2 lists refused the query</source>
        <translation>Nicht vollständig geprüft: Abfrage von %1 der %2 Listen verweigert</translation>
    </message>
    <message>
        <source>Not completely checked: %1 of %2 lists did not answer</source>
        <translation>Nicht vollständig geprüft: keine Antwort von %1 der %2 Listen</translation>
    </message>
    <message>
        <source>Not completely checked: %1 of %2 lists did not answer, %3 refused the query</source>
        <translation>Nicht vollständig geprüft: keine Antwort von %1 der %2 Listen, Abfrage von %3 verweigert</translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation>Nicht geprüft</translation>
    </message>
    <message>
        <source>Accepts no mail (null MX)</source>
        <translation>Nimmt keine Mail an (Null-MX)</translation>
    </message>
    <message>
        <source>Host name not found</source>
        <translation>Hostname nicht gefunden</translation>
    </message>
    <message>
        <source>The scan was stopped before this address was checked</source>
        <translation>Die Prüfung wurde angehalten, bevor diese Adresse geprüft wurde</translation>
    </message>
    <message>
        <source>Enable a blacklist server in Settings</source>
        <translation>Aktivieren Sie einen Blacklist-Server in den Einstellungen</translation>
    </message>
    <message>
        <source>Received 1 reason</source>
        <translation>1 Grund erhalten</translation>
    </message>
    <message>
        <source>Query refused</source>
        <translation>Abfrage verweigert</translation>
    </message>
    <message numerus="yes">
        <source>Received %1 reasons</source>
        <translation>
            <numerusform>%1 Grund erhalten</numerusform>
            <numerusform>%1 Gründe erhalten</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>quarlo::SettingsForm</name>
    <message>
        <source>Quarlo Settings</source>
        <translation>Quarlo-Einstellungen</translation>
    </message>
    <message>
        <source>Network Load</source>
        <translation>Netzlast</translation>
    </message>
    <message>
        <source>%1 Queries</source>
        <translation>%1 Anfragen</translation>
    </message>
    <message>
        <source>Maximum Concurrent Queries</source>
        <translation>Höchstzahl gleichzeitiger Anfragen</translation>
    </message>
    <message>
        <source>Address Tree Auto Expansion Level</source>
        <translation>Automatisches Aufklappen der Adressen</translation>
    </message>
    <message>
        <source>Check lists before scanning</source>
        <translation>Listen vor der Prüfung testen</translation>
    </message>
    <message>
        <source>Before each scan, ask every enabled blacklist for its test entries and leave out the lists that do not answer them correctly</source>
        <translation>Vor jeder Prüfung jede aktivierte Blacklist nach ihren Testeinträgen fragen und Listen auslassen, die sie nicht richtig beantworten</translation>
    </message>
    <message>
        <source>Show a message when a scan is complete</source>
        <translation>Meldung anzeigen, wenn eine Prüfung abgeschlossen ist</translation>
    </message>
    <message>
        <source>The status bar tells the end of every scan either way</source>
        <translation>Die Statusleiste meldet das Ende jeder Prüfung in jedem Fall</translation>
    </message>
    <message>
        <source>Name Resolution</source>
        <translation>Namensauflösung</translation>
    </message>
    <message>
        <source>the system&apos;s resolvers</source>
        <translation>die Resolver des Systems</translation>
    </message>
    <message>
        <source>&amp;DNS servers</source>
        <translation>&amp;DNS-Server</translation>
    </message>
    <message>
        <source>IP addresses with an optional port, separated by commas; empty uses the system&apos;s resolvers. Several blacklists refuse queries that come from public resolvers, so give your own or your provider&apos;s. A change applies at the next start.</source>
        <translation>IP-Adressen mit optionalem Port, durch Kommas getrennt; leer verwendet die Resolver des Systems. Mehrere Blacklists weisen Anfragen öffentlicher Resolver ab, geben Sie also Ihren eigenen oder den Ihres Providers an. Eine Änderung gilt ab dem nächsten Start.</translation>
    </message>
    <message>
        <source> QUARLO_DNS_SERVERS is set and takes precedence.</source>
        <translation> QUARLO_DNS_SERVERS ist gesetzt und hat Vorrang.</translation>
    </message>
    <message>
        <source>Blacklist Service</source>
        <translation>Blacklist-Dienst</translation>
    </message>
    <message>
        <source>Domain</source>
        <translation>Domain</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Blacklist Servers</source>
        <translation>Blacklist-Server</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Edit...</source>
        <translation>Bearbeiten...</translation>
    </message>
    <message>
        <source>Edit the selected blacklist server (F2 or a double click)</source>
        <translation>Den gewählten Blacklist-Server bearbeiten (F2 oder Doppelklick)</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Delete the selected blacklist server (Delete)</source>
        <translation>Den gewählten Blacklist-Server löschen (Entf)</translation>
    </message>
    <message>
        <source>Domain list</source>
        <translation>Domainliste</translation>
    </message>
    <message>
        <source>IP list</source>
        <translation>IP-Liste</translation>
    </message>
    <message>
        <source>, IPv6</source>
        <translation>, IPv6</translation>
    </message>
    <message>
        <source>Delete the blacklist server %1 (%2)?</source>
        <translation>Den Blacklist-Server %1 (%2) löschen?</translation>
    </message>
    <message>
        <source>

The server changes are not saved. Press OK to try again, or Cancel to drop them.</source>
        <translation>

Die Änderungen an den Servern sind nicht gespeichert. Drücken Sie OK, um es erneut zu versuchen, oder Abbrechen, um sie zu verwerfen.</translation>
    </message>
    <message>
        <source>Save the server list shown here over this file? The file as it is now is kept as %1.</source>
        <translation>Die hier gezeigte Serverliste über diese Datei speichern? Die Datei, wie sie jetzt ist, wird als %1 aufbewahrt.</translation>
    </message>
    <message>
        <source>No keeps the file; the server changes then hold until the program ends.</source>
        <translation>Nein behält die Datei; die Änderungen an den Servern gelten dann bis zum Programmende.</translation>
    </message>
    <message>
        <source>, no key</source>
        <translation>, kein Schlüssel</translation>
    </message>
    <message>
        <source>No access key %1 is set: this list is skipped until one is. Edit the server to set it.</source>
        <translation>Kein Zugangsschlüssel %1 gesetzt: Diese Liste wird übersprungen, bis einer gesetzt ist. Bearbeiten Sie den Server, um ihn zu setzen.</translation>
    </message>
    <message>
        <source>The access key %1 could not be stored: %2</source>
        <translation>Der Zugangsschlüssel %1 konnte nicht gespeichert werden: %2</translation>
    </message>
</context>
<context>
    <name>quarlo::TipDialog</name>
    <message>
        <source>Tip of the Day</source>
        <translation>Tipp des Tages</translation>
    </message>
    <message>
        <source>Did you know ...</source>
        <translation>Wussten Sie schon ...</translation>
    </message>
    <message>
        <source>&amp;Show tips at start-up</source>
        <translation>Tipps beim &amp;Start anzeigen</translation>
    </message>
    <message>
        <source>&amp;Next Tip</source>
        <translation>&amp;Nächster Tipp</translation>
    </message>
    <message>
        <source>Tip of the Day - %1</source>
        <translation>Tipp des Tages - %1</translation>
    </message>
    <message>
        <source>the program&apos;s folder</source>
        <translation>dem Ordner des Programms</translation>
    </message>
    <message>
        <source>You can paste a whole list into Add New Addresses: copy host names, IP addresses or e-mail addresses, one per line, and press Ctrl+V. Each entry turns green when it resolves and red when it does not, so typing errors show before you scan.</source>
        <translation>Sie können eine ganze Liste in &quot;Neue Adressen hinzufügen&quot; einfügen: kopieren Sie Hostnamen, IP-Adressen oder E-Mail-Adressen, eine pro Zeile, und drücken Sie Strg+V. Jeder Eintrag wird grün, wenn er aufgelöst wird, und rot, wenn nicht; Tippfehler zeigen sich so vor der Prüfung.</translation>
    </message>
    <message>
        <source>For an e-mail address such as postmaster@example.com, Quarlo checks the mail exchanger (MX) of example.com, the server that receives that domain&apos;s mail.</source>
        <translation>Für eine E-Mail-Adresse wie postmaster@example.com prüft Quarlo den Mail-Exchanger (MX) von example.com, den Server, der die E-Mail dieser Domain empfängt.</translation>
    </message>
    <message>
        <source>An answer such as 127.255.255.254 is not a listing. Several blacklists refuse queries that reach them through large public DNS resolvers and say so with a special answer. Ask through your own resolver for results you can trust.</source>
        <translation>Eine Antwort wie 127.255.255.254 ist keine Listung. Mehrere Blacklists weisen Anfragen ab, die sie über große öffentliche DNS-Resolver erreichen, und sagen das mit einer besonderen Antwort. Fragen Sie über Ihren eigenen Resolver, um verlässliche Ergebnisse zu erhalten.</translation>
    </message>
    <message>
        <source>Click a server&apos;s home page in the URL column of the results to read that blacklist&apos;s listing policy and find its removal (delisting) request form.</source>
        <translation>Klicken Sie in der URL-Spalte der Ergebnisse auf die Homepage eines Servers, um die Listungsregeln dieser Blacklist zu lesen und ihr Formular für die Austragung (Delisting) zu finden.</translation>
    </message>
    <message>
        <source>Select result rows and press Ctrl+C to copy them as text, ready to paste into a message to your provider or to a blacklist operator.</source>
        <translation>Wählen Sie Ergebniszeilen und drücken Sie Strg+C, um sie als Text zu kopieren, bereit für eine Nachricht an Ihren Provider oder den Betreiber einer Blacklist.</translation>
    </message>
    <message>
        <source>Many addresses without an answer, or scans that stall? Lower Maximum Concurrent Queries in Settings: some routers and resolvers drop queries when too many are open at once.</source>
        <translation>Viele Adressen ohne Antwort oder Prüfungen, die stocken? Senken Sie die Höchstzahl gleichzeitiger Anfragen in den Einstellungen: manche Router und Resolver verwerfen Anfragen, wenn zu viele gleichzeitig offen sind.</translation>
    </message>
    <message>
        <source>Settings decides how far results unfold by themselves: not at all, down to the servers that list an address, or down to every reason and explanation text.</source>
        <translation>In den Einstellungen legen Sie fest, wie weit sich Ergebnisse von selbst aufklappen: gar nicht, bis zu den Servern, die eine Adresse listen, oder bis zu jedem Grund und Erklärungstext.</translation>
    </message>
    <message>
        <source>Some blacklists pack several reasons into one answer, one bit each: 127.0.0.24 means codes 8 and 16 together. Tick Bit Map Response Codes in the server&apos;s editor and Quarlo names every reason.</source>
        <translation>Manche Blacklists packen mehrere Gründe in eine Antwort, je ein Bit: 127.0.0.24 bedeutet die Codes 8 und 16 zusammen. Kreuzen Sie im Servereditor &quot;Antwortcodes als Bitmaske&quot; an, und Quarlo nennt jeden Grund.</translation>
    </message>
    <message>
        <source>Save the addresses you look after as a .BlackList file. Open it again later and press F5 to check all of them anew.</source>
        <translation>Speichern Sie die Adressen, die Sie betreuen, als .BlackList-Datei. Öffnen Sie sie später wieder und drücken Sie F5, um alle erneut zu prüfen.</translation>
    </message>
    <message>
        <source>quarlo-check runs the same checks from a terminal or a scheduled job, for example &quot;quarlo-check --format csv mail.example.com 192.0.2.7&quot;. It ends with status 1 when any address is listed.</source>
        <translation>quarlo-check führt dieselben Prüfungen in einem Terminal oder einem geplanten Auftrag aus, zum Beispiel &quot;quarlo-check --format csv mail.example.com 192.0.2.7&quot;. Es endet mit Status 1, wenn eine Adresse gelistet ist.</translation>
    </message>
    <message>
        <source>Your blacklist servers are kept in the file quarlo.cfg in %1. Copy it to take your server list to another computer.</source>
        <translation>Ihre Blacklist-Server stehen in der Datei quarlo.cfg in %1. Kopieren Sie sie, um Ihre Serverliste auf einen anderen Computer mitzunehmen.</translation>
    </message>
    <message>
        <source>Clear Auto Start Scan in Add New Addresses to add several batches of addresses before a scan starts.</source>
        <translation>Wählen Sie &quot;Prüfung automatisch starten&quot; in &quot;Neue Adressen hinzufügen&quot; ab, um mehrere Stapel von Adressen hinzuzufügen, bevor eine Prüfung startet.</translation>
    </message>
</context>
</TS>

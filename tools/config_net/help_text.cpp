#include "help_text.h"

#include "interface_change.h"
#include "kesp_version.h"

namespace kesp_config_net {

namespace {

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommandHelp[] = {
    {"show",
     "usage: kesp_config_net show [IFACE] [--json]\n"
     "\n"
     "Shows how the interface files configure each interface (or IFACE) and,\n"
     "on a live system, the addresses the interface holds now. Without IFACE it\n"
     "lists the configured interfaces and the kernel's Ethernet links (eth*, en*),\n"
     "with each link's state, carrier and hardware address.\n"},
    {"set",
     "usage: kesp_config_net set IFACE --mode NAME\n"
     "           [--ipv4-address A --ipv4-netmask M [--ipv4-gateway G]]\n"
     "           [--ipv6-address A [--ipv6-prefix P] [--ipv6-gateway G]]\n"
     "           [--confirm-within SECONDS]\n"
     "\n"
     "Configures how IFACE gets its addresses. NAME is one of\n"
     "@MODES@\n"
     "(upper or lower case). The address options belong to STATICV4 and\n"
     "STATICV6; an address may carry its length (192.0.2.10/24, 2001:db8::5/64),\n"
     "a netmask may be a length (24), the IPv6 prefix defaults to 64.\n"
     "\n"
     "On a live system the change is one transaction: the interface is taken\n"
     "down, its files rewritten and brought up again; when no address of a\n"
     "requested family comes within about 30 seconds the old files are put\n"
     "back. Name servers staged with 'dns --pending' are applied with it.\n"
     "With --root only the files of the image are rewritten.\n"
     "\n"
     "--confirm-within SECONDS (also on dns, gateways, move, hostname and\n"
     "apply; not with --root) keeps the change pending: unless 'kesp_config_net\n"
     "confirm' runs within SECONDS, the old files come back and the changed\n"
     "interfaces are restarted with them, even when this command, its session\n"
     "or the appliance is cut off before then.\n"},
    {"dns",
     "usage: kesp_config_net dns [--json]\n"
     "       kesp_config_net dns [--pending] SERVER...\n"
     "       kesp_config_net dns [--pending] --clear\n"
     "\n"
     "Name servers go where the owner of /etc/resolv.conf reads them, so that\n"
     "they survive its next rewrite: the file itself, systemd-resolved (with\n"
     "netplan or networkd the configuration of the interface with the default\n"
     "route, else a drop-in in /etc/systemd/resolved.conf.d), resolvconf or\n"
     "openresolv (the dns-nameservers of the interface with the default route,\n"
     "else their own configuration), NetworkManager (the profile of the\n"
     "interface with the default route), netconfig\n"
     "(NETCONFIG_DNS_STATIC_SERVERS). On a live system the owner's program then\n"
     "applies them; when it is missing or fails, nothing is changed and the\n"
     "exit status is 1.\n"
     "\n"
     "Without servers, shows the name servers the owner will use, the owner\n"
     "and the file they come from. With servers (IPv4 or IPv6 addresses),\n"
     "writes them in place of the old ones; a resolv.conf of its own keeps its\n"
     "other lines (search, options, comments). With --pending they are staged\n"
     "in /etc/resolv.conf.pending and written the same way by the next\n"
     "interface change. --clear writes an empty list.\n"},
    {"gateways",
     "usage: kesp_config_net gateways IFACE [--json]\n"
     "\n"
     "Shows the IPv4 and IPv6 default gateways the kernel uses for IFACE (or,\n"
     "where IFACE has none, of any interface). Needs a live system: refused\n"
     "with --root. Fails when no default route goes through a gateway.\n"},
    {"diagnose",
     "usage: kesp_config_net diagnose [IFACE] [--json]\n"
     "\n"
     "Tells why each configured interface (or IFACE) does or does not reach\n"
     "the network, examining in order its link (exists, up, carrier), its\n"
     "configuration (family and file), its address (DHCP lease, link-local\n"
     "only, IPv6 duplicate detection, another machine answering for it by\n"
     "ARP), its gateway (inside the network, answering ARP, the kernel's route\n"
     "to other networks leaving through it), the name servers (each answers a\n"
     "DNS query within 2 seconds) and the proxy (a TCP connection opens). It\n"
     "stops at the first layer that fails, says what was found and what to do.\n"
     "Traffic goes only to the interface's own address, gateway, name servers\n"
     "and proxy; every probe waits at most 2 seconds, the whole command at most\n"
     "10. Needs a live system: refused with --root. Exit status 0 when every\n"
     "layer holds for every interface examined, 1 when one fails. --json\n"
     "prints {\"interfaces\": [{\"name\", \"layer\", \"ok\", \"message\", \"fix\",\n"
     "\"details\"}]}, layer naming the first failing layer (link, configuration,\n"
     "address, gateway, name-servers, proxy) or \"ok\".\n"},
    {"proxy",
     "usage: kesp_config_net proxy [show] [--json]\n"
     "       kesp_config_net proxy set --host HOST [--port PORT]\n"
     "                                 [--user USER [--password-stdin]]\n"
     "       kesp_config_net proxy clear\n"
     "\n"
     "Shows, sets or removes the HTTP proxy of /etc/environment and the package\n"
     "manager. The port defaults to 80. --password-stdin reads the password\n"
     "from the first line of standard input (an empty line: no password);\n"
     "without it the stored password is kept. The password is never shown.\n"},
    {"move",
     "usage: kesp_config_net move add IFACE\n"
     "       kesp_config_net move remove IFACE\n"
     "       kesp_config_net move swap IFACE1 IFACE2\n"
     "\n"
     "Edits the set of configured interfaces: 'add' gives an unconfigured\n"
     "interface a DHCPv4 configuration, 'remove' deletes an interface's\n"
     "configuration, 'swap' exchanges two interfaces' configurations. Only the\n"
     "files change; no interface is taken down or brought up.\n"},
    {"hostname",
     "usage: kesp_config_net hostname [--json]\n"
     "       kesp_config_net hostname NAME\n"
     "\n"
     "Shows the host name, or sets it through the appliance's host-name\n"
     "script. With --root it shows the image's name from its etc/hostname, or\n"
     "sets it there (and in the 127.0.1.1 line of its etc/hosts).\n"},
    {"recover",
     "usage: kesp_config_net recover [--discard | --boot]\n"
     "\n"
     "Puts back a change that was killed half-way (power loss, a killed run):\n"
     "every file it had touched as it was before, and on a live system its\n"
     "interfaces restarted with them. Says what it restored; 'no unfinished\n"
     "change' when there was nothing to do. Fails (1) when something could not\n"
     "be put back. Every change also does this first.\n"
     "\n"
     "--boot (the recovery unit at boot) puts the files back and regenerates\n"
     "what the system derives from them (netplan's generated files), and\n"
     "restarts nothing: the network services, which start after it, bring the\n"
     "interfaces up with the files put back.\n"
     "\n"
     "A journal that is damaged or points outside the system is never acted\n"
     "on, and every change is refused while it is there. --discard moves it\n"
     "aside without putting anything back (kept for inspection as\n"
     "/var/lib/kesp/change.journal.discarded-TIME), so that changes can go on.\n"},
    {"confirm",
     "usage: kesp_config_net confirm\n"
     "\n"
     "Keeps the change made with --confirm-within. Fails (1) when no change is\n"
     "pending, or when its deadline has passed: it is then put back.\n"},
    {"revert",
     "usage: kesp_config_net revert [--if-due]\n"
     "\n"
     "Puts the change made with --confirm-within back now: its files as they\n"
     "were, its interfaces restarted with them. Fails (1) when no change is\n"
     "pending. With --if-due (what runs at the deadline) a change whose\n"
     "deadline has not come stays, and nothing pending is no failure.\n"
     "\n"
     "While a change is pending, every other change is refused, naming it;\n"
     "'show' reports it (\"pending_change\" with its deadline and interfaces).\n"
     "One found past its deadline, or made before the last boot, is put back\n"
     "first, by the next change, by 'recover' and by the recovery unit at boot.\n"},
    {"export",
     "usage: kesp_config_net export [--json]\n"
     "\n"
     "Prints the network state as one JSON document, the form 'apply' takes:\n"
     "  {\"interfaces\": {\"eth0\": {\"mode\": \"STATICV4\",\n"
     "                 \"ipv4\": {\"address\": \"192.0.2.10\", \"prefix\": 24,\n"
     "                          \"gateway\": \"192.0.2.1\"}}},\n"
     "   \"dns\": [\"192.0.2.53\"], \"hostname\": \"kesp1\",\n"
     "   \"proxy\": {\"host\": \"proxy.example.net\", \"port\": 3128, \"user\": \"kesp\"}}\n"
     "The configured interfaces (from the files, not the kernel) with their\n"
     "mode and, for STATICV4 and STATICV6, their \"ipv4\" and \"ipv6\" address,\n"
     "prefix and gateway; a proxy host of \"\" means no proxy. The proxy password\n"
     "is never printed.\n"},
    {"apply",
     "usage: kesp_config_net apply FILE|- [--check] [--diff] [--json]\n"
     "                             [--password-stdin]\n"
     "\n"
     "Makes the system match the state document in FILE (- reads standard\n"
     "input), in the form 'export' prints. What the document leaves out stays\n"
     "as it is: an interface it does not name, or a missing \"dns\", \"hostname\"\n"
     "or \"proxy\". Every file of every setting changes as one change, all or\n"
     "nothing; on a live system the interfaces whose configuration changes are\n"
     "taken down together, their files rewritten and brought up together, and\n"
     "when one gets no address within about 30 seconds everything is put back.\n"
     "Settings that already match write nothing and restart nothing.\n"
     "\n"
     "A document with an unknown key, a bad value or an interface the system\n"
     "cannot configure is refused before anything is touched; each fault is\n"
     "named by its key's path (interfaces.eth0.ipv4.address).\n"
     "\n"
     "  --check           say what would change; change nothing\n"
     "  --diff            print a unified diff of every file that changes\n"
     "                    (passwords masked)\n"
     "  --json            print {\"changed\": BOOL, \"files\": [{\"path\", \"before\",\n"
     "                    \"after\"}], \"restarted\": [IFACE...]}\n"
     "  --password-stdin  the proxy password, from the first line of standard\n"
     "                    input; or \"password_file\" in \"proxy\" names a file\n"
     "                    holding it. Without either the stored one is kept.\n"},
};

const char kToolHelp[] =
    "usage: kesp_config_net [OPTIONS]                   the configuration dialogue\n"
    "       kesp_config_net [OPTIONS] COMMAND [ARGS]    one command, for scripts\n"
    "\n"
    "Configures the appliance's network: interface addresses, name servers,\n"
    "host name and HTTP proxy. Without a command, on a terminal, it asks for\n"
    "each setting in turn, shows a summary and applies it after confirmation.\n"
    "\n"
    "Commands:\n"
    "  show [IFACE]                  configured modes and live addresses\n"
    "  set IFACE --mode NAME [...]   configure an interface\n"
    "  dns [--pending] [SERVER...]   show or set the name servers\n"
    "  gateways IFACE                default gateways in use\n"
    "  diagnose [IFACE]              why an interface does not reach the network\n"
    "  proxy [show|set|clear]        the HTTP proxy\n"
    "  move add|remove|swap IF1 [IF2]  add, remove or exchange configurations\n"
    "  hostname [NAME]               show or set the host name\n"
    "  recover [--discard | --boot]  put back a change that was killed half-way\n"
    "  confirm                       keep a change made with --confirm-within\n"
    "  revert [--if-due]             put a pending change back now\n"
    "  export                        the network state as a JSON document\n"
    "  apply FILE|- [--check|--diff] make the system match a state document\n"
    "\n"
    "Options (before or after the command):\n"
    "  --root DIR         work on the offline image under DIR: only its files\n"
    "                     are read and written, nothing is run\n"
    "  --system-root DIR  act on this system, but take its files and programs\n"
    "                     from under DIR (tests and demonstrations)\n"
    "  --json             print data as JSON\n"
    "  --wait SECONDS     how long a change waits for another one (60)\n"
    "  -v, --verbose      show everything the library logged\n"
    "  -h, --help         this text; 'COMMAND --help' for a command's\n"
    "  --version          the tool's version\n"
    "\n"
    "Exit status: 0 success, 1 failure (the reason on standard error),\n"
    "2 usage error.\n";

/// The mode names in lines of at most 72 columns, each indented by two.
std::string wrappedModeNames() {
  std::string text = "  ", word;
  size_t column = 2;
  const std::string list = modeNameList() + ",";
  for (size_t start = 0; start < list.size();) {
    const size_t comma = list.find(',', start);
    word = list.substr(start, comma - start);
    start = comma + 2;  // past ", "
    const bool last = start >= list.size();
    if (!last) word += ",";
    if (column > 2 && column + 1 + word.size() > 72) {
      text += "\n  ";
      column = 2;
    } else if (column > 2) {
      text += " ";
      ++column;
    }
    text += word;
    column += word.size();
  }
  return text;
}

}  // namespace

std::string toolHelp() { return kToolHelp; }

std::string commandHelp(const std::string& command) {
  for (const CommandHelp& help : kCommandHelp) {
    if (command != help.name) continue;
    std::string text = help.text;
    const size_t modes = text.find("@MODES@");
    if (modes != std::string::npos) text.replace(modes, 7, wrappedModeNames());
    return text;
  }
  return toolHelp();
}

std::string usageSynopsis(const std::string& command) {
  const std::string help = command.empty() ? toolHelp() : commandHelp(command);
  const size_t blankLine = help.find("\n\n");
  return blankLine == std::string::npos ? help : help.substr(0, blankLine + 1);
}

std::string versionText() { return std::string("kesp_config_net ") + KESP_VERSION + "\n"; }

}  // namespace kesp_config_net

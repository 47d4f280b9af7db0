#include "ParseListingLine.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* what;
  const char* line;
  bool folder;
  const char* name;
  bool link = false;
};

// Lines as servers send them, and the corner cases of the rule.
const Case Cases[] = {
    {"folder, name with a blank", "drwxr-xr-x 2 anna users 4096 Dec 7 14:05 Urlaub 2026", true,
     "Urlaub 2026"},
    {"file, runs of blanks between fields",
     "-rw-r--r--    1 anna     users        1536 Dec  7 14:05 bild01.jpg", false, "bild01.jpg"},
    {"DOS folder", "12-07-26  02:25PM       <DIR>          Fotos", true, "Fotos"},
    {"DOS file", "12-07-26  02:25PM                 1234 liste.txt", false, "liste.txt"},
    {"DOS file, name with blanks", "12-07-26  02:25PM                 1234 Übung 1.jpg", false,
     "Übung 1.jpg"},
    {"numeric owner and group (vsftpd)",
     "-rw-r--r--    1 1001     1001         1536 Dec 08 01:30 a b  c.jpg", false, "a b  c.jpg"},
    {"numeric owner, folder (vsftpd)",
     "drwxr-xr-x    2 1001     1001         4096 Dec 08 01:30 Neuer Ordner", true, "Neuer Ordner"},
    {"pure-ftpd", "-rw-r--r--    1 1000       1000            34567 Dec  8 01:30 Übung 1.jpg",
     false, "Übung 1.jpg"},
    {"proftpd", "-rw-r--r--   1 anna     anna         1536 Dec  8 01:30 foto.jpg", false,
     "foto.jpg"},
    {"pyftpdlib, older than six months",
     "-rw-r--r--   1 anna     anna         1536 Jan 05  2025 alt.jpg", false, "alt.jpg"},
    {"link", "lrwxrwxrwx 1 anna users 6 Dec 7 14:05 neu -> Urlaub", false, "neu", true},
    {"link, pure-ftpd",
     "lrwxrwxrwx    1 1000       1000                5 Dec  8 01:30 Neueste -> Serie", false,
     "Neueste", true},
    {"link, vsftpd", "lrwxrwxrwx    1 1001     1001            5 Dec 08 01:30 Neueste -> Serie",
     false, "Neueste", true},
    {"link, proftpd",
     "lrwxrwxrwx   1 anna     anna           12 Dec  8 01:30 Neueste Bilder -> Serie 2026", false,
     "Neueste Bilder", true},
    {"link whose target names an arrow", "lrwxrwxrwx 1 a b 9 Dec 7 14:05 x -> y -> z", false, "x",
     true},
    {"link without a target shown", "lrwxrwxrwx 1 anna users 6 Dec 7 14:05 neu", false, "neu",
     true},
    {"an arrow in a file's name stays", "-rw-r--r-- 1 a b 1 Dec 7 14:05 a -> b.txt", false,
     "a -> b.txt"},
    {"one column fewer loses the first word", "-rw-r--r-- 1 anna 1536 Dec 7 14:05 mein bild.jpg",
     false, "bild.jpg"},
    {"no blank at all", "readme", false, "readme"},
    {"folder without blanks", "dokumente", true, "dokumente"},
    {"empty line", "", false, ""},
    {"fields run out", "drwxr-xr-x 2 anna ", true, ""},
    {"total line", "total 12", false, "12"},
    {"digit first, no DOS marker", "1 2 3 4 5 6 7 8 neun", false, "4 5 6 7 8 neun"},
    {"digit first, three fields only", "12-07-26 02:25PM", false, "02:25PM"},
};

TEST(ParseListingLine, Table) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(testing::Message() << c.what << ": \"" << c.line << '"');
    bool folder = !c.folder;
    bool link = !c.link;
    std::string name = "stale";
    ParseListingLine(c.line, folder, link, name);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(link, c.link);
    EXPECT_EQ(name, c.name);
  }
}

} // namespace

// Result lines: tokens replaced in one pass, lines saved with CRLF. Thousands are grouped in
// list_texts_test; more formats are held against tools/reference_search.py.
#include "results/results_writer.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(ResultLine, TokensAreReplacedEverywhereInOnePass) {
    struct Case {
        const char16_t *format, *dir, *name, *line;
    };
    for (const Case& c : {
             Case{u"[FILEDIR][FILENAME]", u"C:\\x\\", u"a.txt", u"C:\\x\\a.txt"},
             Case{u"[FILENAME] - [FILENAME]", u"C:\\", u"b", u"b - b"},
             Case{u"[FILEDIR][FILENAME]", u"", u"C:", u"C:"},  // a drive row
             Case{u"[FILEDIR", u"x", u"y", u"[FILEDIR"},
             // A folder whose own name looks like a token is written as it is.
             Case{u"[FILEDIR]|[FILENAME]", u"C:\\[FILENAME]\\", u"n", u"C:\\[FILENAME]\\|n"},
         })
        EXPECT_EQ(FormatResultLine(c.format, c.dir, c.name), c.line);
#ifndef _WIN32
    EXPECT_EQ(EncodeSavedLine(u"C:\\\u00e4.txt"), "C:\\\xc3\xa4.txt\r\n");
#endif
    EXPECT_EQ(EncodeSavedLine(u""), "\r\n");
}

}  // namespace
}  // namespace corvella

// English texts for the symbolic keys of the main table and the support tables.
// Libraries above support add their own keys with KZLocalization::registerEnglish.
#include "support/KZLocalization.h"

void kzRegisterSupportEnglishTables()
{
    KZLocalization::registerEnglish("KZFunctions", {
        {"%lld Bytes", "%lld bytes"},
        {"1 Byte", "1 byte"},
    });
    KZLocalization::registerEnglish("KZMASReviewReclam", {
        {"KZMASReviewReclam_title", "Enjoying %@?"},
        {"KZMASReviewReclam_msg", "If Trovix helps you find your files, would you take a moment to rate it? "
                                  "It tells others whether it is worth a try. Thank you for your support!"},
    });
    // The key keeps its historical spelling; only the text is corrected.
    KZLocalization::registerEnglish(KZLocalizationMainTable, {
        {"1 directoriy", "1 directory"},
    });
}

// A text of the dialogs in the player's two languages, chosen by the language index (0 Korean,
// 1 English) as every text of the message table is.
#ifndef PLAYER_DIALOGS_BILINGUAL_H
#define PLAYER_DIALOGS_BILINGUAL_H

#include <QString>

namespace koru::player {

struct Bilingual {
    const char* korean;
    const char* english;

    const char* In(int language) const { return language == 0 ? korean : english; }
    QString Q(int language) const { return QString::fromUtf8(In(language)); }
};

}  // namespace koru::player

#endif

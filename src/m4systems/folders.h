// Where the program keeps its files on this system.
//  - program folder: the running executable's folder (read-only assets, plug-ins, skins,
//    the default "KORU-DMB.cfg", the demo receiver); KORU_PROGRAM_DIR overrides it.
//  - user folder: KORU_DMB_HOME, else $XDG_DATA_HOME/KORU-DMB, else ~/.local/share/KORU-DMB
//    ("KORU-DMB.cfg", "channel.xml", "channel.dat" as the user's own copies).
//  - documents folder: the XDG documents folder + "/KORU-DMB/<name>" for the working folders.
#ifndef M4SYSTEMS_FOLDERS_H
#define M4SYSTEMS_FOLDERS_H

#include <string>

namespace koru {

#define KORU_FOLDERS_API __attribute__((visibility("default")))

// Each returns a path without a trailing "/".
KORU_FOLDERS_API std::string ProgramFolder();
KORU_FOLDERS_API std::string UserFolder();
KORU_FOLDERS_API std::string DocumentsFolder();
// DocumentsFolder() + "/KORU-DMB/" + name, e.g. WorkingFolder("capture").
KORU_FOLDERS_API std::string WorkingFolder(const std::string& name);

// Creates the user folder if needed and, when it has no "KORU-DMB.cfg", copies the default one
// from the program folder. Returns false when the folder cannot be created; a missing default
// is not an error here (the player reports the missing configuration itself).
KORU_FOLDERS_API bool PrepareUserFolder();

}  // namespace koru

#endif

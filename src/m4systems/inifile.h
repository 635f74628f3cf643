/* Ini files of the terminal ("KORU-DMB.cfg"): sections of key = value lines. Section and key
 * names match without regard to case. Every change is saved at once, atomically (a temporary
 * file renamed over the old one), keeping the file's other sections, keys and comments. */
#ifndef M4SYSTEMS_INIFILE_H
#define M4SYSTEMS_INIFILE_H

#include "m4systems/m4_types.h"

M4_EXTERN_C_BEGIN

typedef struct IniFile IniFile;

/* Opens folder/name; folder may end with "/" or not. Null when the file does not exist or
 * cannot be read. */
M4_API IniFile* NewIniFile(const char* folder, const char* name);
/* The value, or null for a missing section or key. The text stays valid until the key is set
 * again or the file is deleted. */
M4_API const char* IF_GetKey(IniFile* ini, const char* section, const char* key);
/* Sets (or adds) the key and saves the file. M4OK, or M4IOErr when saving failed (the value
 * is kept in memory). A null value removes the key. */
M4_API M4Err IF_SetKey(IniFile* ini, const char* section, const char* key, const char* value);
/* Closes the file; null is accepted. */
M4_API void IF_Delete(IniFile* ini);

M4_EXTERN_C_END

#endif

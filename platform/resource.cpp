// Resource look-ups by number over the program's resource directory, and LoadStringW.
#include "platform/resource.h"

#include "platform/dialog.h"
#include "platform/gdi.h"
#include "platform/text.h"

namespace orven::resources {

namespace {

template <typename T>
const T* findById(const T* table, int count, int id) {
    for (int i = 0; i < count; ++i)
        if (static_cast<int>(table[i].id) == id) return &table[i];
    return nullptr;
}

}  // namespace

const Icon* findIcon(int id) {
    const Directory& d = programResources();
    return findById(d.icons, d.iconCount, id);
}

const Bitmap* findBitmap(int id) {
    const Directory& d = programResources();
    return findById(d.bitmaps, d.bitmapCount, id);
}

const Menu* findMenu(int id) {
    const Directory& d = programResources();
    return findById(d.menus, d.menuCount, id);
}

const MenuBar* findMenuBar(int id) {
    const Directory& d = programResources();
    return findById(d.menuBars, d.menuBarCount, id);
}

const Dialog* findDialog(int id) {
    const Directory& d = programResources();
    return findById(d.dialogs, d.dialogCount, id);
}

const char* findSoundMeaning(int number) {
    const SoundMeanings& table = soundMeanings();
    for (int i = 0; i < table.count; ++i)
        if (table.entries[i].number == number) return table.entries[i].meaning;
    return nullptr;
}

const char16_t* findString(UINT id) {
    const Directory& d = programResources();
    const String* entry = findById(d.strings, d.stringCount, static_cast<int>(id));
    return entry != nullptr ? entry->text : nullptr;
}

}  // namespace orven::resources

// ---- LoadStringW
// Copies the string (cut to bufferMax - 1 characters) and returns its length; 0 when the
// program has no such string.
int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int bufferMax) {
    const char16_t* text = orven::resources::findString(id);
    if (buffer == nullptr || bufferMax <= 0) return 0;
    if (text == nullptr) {
        buffer[0] = 0;
        return 0;
    }
    lstrcpynW(buffer, text, bufferMax);
    return lstrlenW(buffer);
}

// ---- FindResourceW
// Dialog templates only: the handle is the template itself.
HRSRC FindResourceW(HINSTANCE, LPCWSTR name, LPCWSTR type) {
    if (!IS_INTRESOURCE(name) || type != RT_DIALOG) return nullptr;
    auto* dialog = orven::resources::findDialog(LOWORD(name));
    return reinterpret_cast<HRSRC>(const_cast<orven::resources::Dialog*>(dialog));
}

// ---- LoadResource
HGLOBAL LoadResource(HINSTANCE, HRSRC resource) {
    return resource;
}

// ---- LockResource
LPVOID LockResource(HGLOBAL data) {
    return data;
}

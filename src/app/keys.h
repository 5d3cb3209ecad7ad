// Keys and drags: a row for each input the viewer takes, naming its keys as
// the key sheet does and saying what they do. --help's key sheet, the
// control panel's and the page's lists of keys come from the rows, and the
// input module acts on each row's action.
#pragma once

enum KeyAction {
    KEY_TURN3,      // held, by pairs: turn + and - about the surface's own x, y, z axes
    KEY_TURN4,      // held, by pairs: turn x, y, z toward w and back
    KEY_SCROLL,     // the wheel: turn about the view's axes
    KEY_DRAG3,      // left drag
    KEY_DRAG4,      // right drag, or Shift and left drag
    KEY_PAN,        // middle drag
    KEY_ZOOM,       // by pairs: zoom in and out; repeats while held
    KEY_STOP,       // stop a spin
    KEY_RESET,      // back to the first view
    KEY_LIGHT,      // the file's normals or the shape's
    KEY_TINT,       // colour by w
    KEY_SLICE,      // the slice
    KEY_MOVE_SLICE, // held: move the slice toward -w and +w
    KEY_EYE4,       // the 4-D perspective
    KEY_GIZMO,      // the axes
    KEY_WIRE,       // the wireframe
    KEY_CURVE,      // the double curve; with Shift, the broken-surface diagram
    KEY_AA,         // anti-aliasing
    KEY_OPACITY,    // the surface half transparent
    KEY_STEREO,     // by turns: no stereo, anaglyph, side by side
    KEY_HIDE,       // the k-th key hides coordinate k
    KEY_SWAP,       // the k-th key exchanges the hidden coordinate with slot k
    KEY_TOUR,       // a tour through frames of R^m: start, pause, go on
    KEY_PANEL,      // the control panel
    KEY_TOUCH,      // fingers on a touch screen
    KEY_UI_SCALE,   // with Ctrl, by pairs: the control panel larger and smaller
    KEY_SAVE,       // with Ctrl: save the view now
    KEY_QUIT,       // with Ctrl: close the window
    KEY_FULL_SCREEN, // the window over the whole screen, or back
};

enum KeyPlace {
    KEYS_EVERYWHERE,
    KEYS_DESKTOP, // the window alone
    KEYS_PAGE,    // the web page alone
};

struct KeyRow {
    const char* keys; // as the sheet names them; none for keys the sheet names in another row
    const char* help; // what they do; empty where the row goes on with the one above
    const char* hint; // the keys in short, beside a control that does the same; none: as keys
    KeyAction action;
    KeyPlace place;
    int codes[9]; // GLFW key codes, in the order the action counts them; 0 ends them
    bool control = false; // the keys act with Ctrl held, and only so
};

extern const KeyRow key_rows[];
extern const int key_row_count;

// The row a key belongs to, and the key's place among its codes; none for
// a key the viewer does not take. With Ctrl held, a row of Ctrl's comes
// first.
const KeyRow* find_keys(int code, int* place, bool control = false);

// The row of an action.
const KeyRow* row_keys(KeyAction action);

// The keys of an action in short, as a control beside them shows them.
const char* hint_keys(KeyAction action);

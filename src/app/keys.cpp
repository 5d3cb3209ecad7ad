// Keys and drags: the one table of the viewer's input.
#include "app/keys.h"

#include "draw/platform.h"

const KeyRow key_rows[] = {
    {"Q W, A S, Z X", "hold to turn the surface about its own x, y, z axes", nullptr, KEY_TURN3,
        KEYS_EVERYWHERE, {GLFW_KEY_Q, GLFW_KEY_W, GLFW_KEY_A, GLFW_KEY_S, GLFW_KEY_Z, GLFW_KEY_X}},
    {"E R, D F, C V", "hold to turn x, y, z toward w and back, in four dimensions", nullptr, KEY_TURN4,
        KEYS_EVERYWHERE, {GLFW_KEY_E, GLFW_KEY_R, GLFW_KEY_D, GLFW_KEY_F, GLFW_KEY_C, GLFW_KEY_V}},
    {"scroll wheel", "turn it about the view's horizontal and vertical axes", nullptr, KEY_SCROLL,
        KEYS_EVERYWHERE, {}},
    {"left drag", "turn it so, too; let go while moving to keep it spinning", nullptr, KEY_DRAG3,
        KEYS_EVERYWHERE, {}},
    {"right drag", "turn it in four dimensions: +w comes toward the pointer", nullptr, KEY_DRAG4,
        KEYS_EVERYWHERE, {}},
    {"  or Shift-left drag", "", nullptr, KEY_DRAG4, KEYS_EVERYWHERE, {}},
    {"middle drag", "move the picture", nullptr, KEY_PAN, KEYS_EVERYWHERE, {}},
    {"one finger", "turn it as the left drag does", nullptr, KEY_TOUCH, KEYS_PAGE, {}},
    {"two fingers", "turn it in four dimensions as the right drag does; pinch to zoom", nullptr, KEY_TOUCH,
        KEYS_PAGE, {}},
    {"Ctrl-scroll, = -", "zoom in and out", "= -", KEY_ZOOM, KEYS_EVERYWHERE,
        {GLFW_KEY_EQUAL, GLFW_KEY_MINUS, GLFW_KEY_KP_ADD, GLFW_KEY_KP_SUBTRACT}},
    {"Space", "stop spinning (a click does too)", nullptr, KEY_STOP, KEYS_EVERYWHERE, {GLFW_KEY_SPACE}},
    {"Backspace", "back to the first view: orientation, 4-D turn, zoom, pan", nullptr, KEY_RESET,
        KEYS_EVERYWHERE, {GLFW_KEY_BACKSPACE}},
    {"L", "light with the file's normals or the surface's shape", nullptr, KEY_LIGHT, KEYS_EVERYWHERE,
        {GLFW_KEY_L}},
    {"H", "colour by w, or as ever", nullptr, KEY_TINT, KEYS_EVERYWHERE, {GLFW_KEY_H}},
    {"K", "slice about w = c; hold [ and ] to move c", "K [ ]", KEY_SLICE, KEYS_EVERYWHERE, {GLFW_KEY_K}},
    {nullptr, "", nullptr, KEY_MOVE_SLICE, KEYS_EVERYWHERE, {GLFW_KEY_LEFT_BRACKET, GLFW_KEY_RIGHT_BRACKET}},
    {"J", "the 4-D perspective, from an eye at 3 s on the w axis", nullptr, KEY_EYE4, KEYS_EVERYWHERE,
        {GLFW_KEY_J}},
    {"G", "the axes: x red, y green, z blue, w magenta", nullptr, KEY_GIZMO, KEYS_EVERYWHERE, {GLFW_KEY_G}},
    {"T", "the wireframe", nullptr, KEY_WIRE, KEYS_EVERYWHERE, {GLFW_KEY_T}},
    {"N, Shift+N", "where the shadow crosses itself; the lower sheet broken there", "N", KEY_CURVE,
        KEYS_EVERYWHERE, {GLFW_KEY_N}},
    {"M", "anti-alias with 4 samples a pixel, or not", nullptr, KEY_AA, KEYS_EVERYWHERE, {GLFW_KEY_M}},
    {"B", "the surface half transparent, or opaque", nullptr, KEY_OPACITY, KEYS_EVERYWHERE, {GLFW_KEY_B}},
    {"Y", "stereo by turns: red-cyan, side by side, none", nullptr, KEY_STEREO, KEYS_EVERYWHERE,
        {GLFW_KEY_Y}},
    {"1 to 9", "choose which coordinate is hidden as w", "1-9", KEY_HIDE, KEYS_EVERYWHERE,
        {GLFW_KEY_1, GLFW_KEY_2, GLFW_KEY_3, GLFW_KEY_4, GLFW_KEY_5, GLFW_KEY_6, GLFW_KEY_7, GLFW_KEY_8,
            GLFW_KEY_9}},
    {"I, O, P", "turn the hidden coordinate into view as x, y or z", "I O P", KEY_SWAP, KEYS_EVERYWHERE,
        {GLFW_KEY_I, GLFW_KEY_O, GLFW_KEY_P}},
    {"U", "start or pause a tour through frames of R^m (Space pauses)", nullptr, KEY_TOUR, KEYS_EVERYWHERE,
        {GLFW_KEY_U}},
    {"Tab", "show or hide the control panel", nullptr, KEY_PANEL, KEYS_DESKTOP, {GLFW_KEY_TAB}},
    {"Ctrl+ Ctrl-", "the control panel larger or smaller (in a browser, its zoom)", nullptr, KEY_UI_SCALE,
        KEYS_EVERYWHERE, {GLFW_KEY_EQUAL, GLFW_KEY_MINUS, GLFW_KEY_KP_ADD, GLFW_KEY_KP_SUBTRACT}, true},
    {"F11", "full screen, or back to the window", nullptr, KEY_FULL_SCREEN, KEYS_DESKTOP, {GLFW_KEY_F11}},
    {"Ctrl+S", "save the view now: to --save-view's file, else a new plexorama-N.view", nullptr, KEY_SAVE,
        KEYS_DESKTOP, {GLFW_KEY_S}, true},
    {"Ctrl+Q", "quit, as closing the window does", nullptr, KEY_QUIT, KEYS_DESKTOP, {GLFW_KEY_Q}, true},
};
const int key_row_count = sizeof key_rows / sizeof key_rows[0];

const KeyRow* find_keys(int code, int* place, bool control)
{
    // With Ctrl held, a row of its own first, else the key's plain row.
    for (int pass = control ? 0 : 1; pass < 2; pass++)
        for (const KeyRow& row : key_rows)
            for (int k = 0; k < 9 && row.codes[k] && row.control == (pass == 0); k++)
                if (row.codes[k] == code) {
                    *place = k;
                    return &row;
                }
    return nullptr;
}

const KeyRow* row_keys(KeyAction action)
{
    for (const KeyRow& row : key_rows)
        if (row.action == action)
            return &row;
    return nullptr;
}

const char* hint_keys(KeyAction action)
{
    const KeyRow* row = row_keys(action);
    return row->hint ? row->hint : row->keys;
}

// The main window as its user sees it, for the tests that drive the real program: its class,
// title and place, its gadgets in the order it makes them with their texts, places and styles,
// and the texts of its messages. Written from what the user must see rather than taken from
// app/, so that a test checks the program instead of repeating it.
#pragma once

#include <windows.h>
#include <iterator>
#include <vector>

namespace testsupport {

// The numbered window, its class and title, where it opens and the size of its inner area.
inline constexpr int MAIN_WINDOW = 14;
inline constexpr char MAIN_WINDOW_CLASS[] = "WindowClass_14";
inline constexpr char MAIN_WINDOW_TITLE[] = "Kalibrix";
inline constexpr POINT MAIN_WINDOW_PLACE = {429, 123};
inline constexpr SIZE MAIN_WINDOW_INNER = {262, 390};

// The gadgets the tests use, by their numbers.
enum MainGadget : int {
    NOTICE = 1, // the line at the bottom: the notice, or how far a square has come
    STEPS = 5,
    DELAY = 7,
    START = 8,
    STOP = 9,
    SIDE_X = 11,
    MM_PER_STEP_X = 12,
    PORT = 15,
    CALCULATE = 16,
    STEPS_PER_MM_X = 18,
    SIDE_Y = 19,
    MM_PER_STEP_Y = 20,
    STEPS_PER_MM_Y = 21,
    DIAGONAL_FROM_START = 23,
    OTHER_DIAGONAL = 24,
    ANGLE = 26,
};

// The texts of the program's messages, in Windows-1252 as the program shows them.
inline constexpr char TEXT_NOTICE[] =
    "Kalibrix V1 \x96 Schrittweiten-Kalibrierung f\xFCr Fr\xE4sen";
inline constexpr char TEXT_NO_LIBRARY[] = "Konnte 'inpout32.dll' nicht laden...";
inline constexpr char TEXT_CHECK_FAILED[] = "Trage eine g\xFCltige LPT-Adresse, eine g\xFCltige "
                                            "Schrittanzahl und ein g\xFCltiges Delay ein!";
inline constexpr char TEXT_READY[] = "Setze den Stift mittig auf ein Blatt Papier...";
inline constexpr char TEXT_STOPPED[] = "'Stop' wurde bet\xE4tigt, Taktausgabe wurde zwangsbeendet!";
inline constexpr char TEXT_DONE[] =
    "Das Quadrat wurde erfolgreich gemalt, trage nun die Seitenl\xE4nge ein!";
inline constexpr char TEXT_DRIVER_CLOSED[] =
    "Der Treiber von 'inpout32.dll' ist nicht geladen, darum erreicht Kalibrix den Port nicht. "
    "Starte Kalibrix einmal mit Rechtsklick, 'Als Administrator ausf\xFChren'; unter Windows 11 "
    "kann die Speicher-Integrit\xE4t (Kernisolierung) den Treiber sperren.";
inline constexpr char TEXT_INVALID[] = "ung\xFCltig";

struct GadgetRow {
    int number;
    const char* className;
    int x, y, width, height; // in the window's inner area
    const char* text;
    DWORD style;   // bits that must be set
    DWORD absent;  // bits that must be clear
    DWORD exStyle; // WS_EX_CLIENTEDGE expected or not
};

// The styles each kind of gadget has.
inline constexpr DWORD TEXT_GADGET_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP;
inline constexpr DWORD STRING_GADGET_STYLE =
    WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
inline constexpr DWORD BUTTON_GADGET_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP;

// Every gadget in the order the window makes them, which is the order of its children.
inline constexpr GadgetRow MAIN_GADGETS[] = {
    {NOTICE, "Static", 0, 360, 262, 30, TEXT_NOTICE, TEXT_GADGET_STYLE | SS_CENTER, WS_TABSTOP, 0},
    {2, "Static", 10, 0, 250, 70,
     "Ermittele mit diesem Programm die Weite eines Schrittes deiner Fr\xE4se! Gib eine "
     "Schrittanzahl an, das Programm zeichnet ein Quadrat mit der angegebenen Schrittzahl und "
     "rechnet dir die Schrittweite eines Schrittes aus!",
     TEXT_GADGET_STYLE, WS_TABSTOP | SS_CENTER, 0},
    {3, "Static", 10, 100, 100, 20, "Anzahl der Schritte:", TEXT_GADGET_STYLE,
     WS_TABSTOP | SS_CENTER, 0},
    {4, "Static", 10, 70, 100, 30, "Deine dezimale LPT-Adresse:", TEXT_GADGET_STYLE,
     WS_TABSTOP | SS_CENTER, 0},
    {PORT, "Edit", 110, 75, 140, 20, "888", STRING_GADGET_STYLE | ES_NUMBER, ES_READONLY,
     WS_EX_CLIENTEDGE},
    {STEPS, "Edit", 110, 100, 140, 20, "100", STRING_GADGET_STYLE | ES_NUMBER, ES_READONLY,
     WS_EX_CLIENTEDGE},
    {6, "Static", 10, 120, 90, 20, "Wartezeit in ms:", TEXT_GADGET_STYLE, WS_TABSTOP | SS_CENTER,
     0},
    {DELAY, "Edit", 110, 120, 140, 20, "5", STRING_GADGET_STYLE, ES_NUMBER | ES_READONLY,
     WS_EX_CLIENTEDGE},
    {START, "Button", 10, 150, 240, 20, "Mal mir ein Quadrat!", BUTTON_GADGET_STYLE, 0, 0},
    {STOP, "Button", 10, 170, 240, 20, "STOP!", BUTTON_GADGET_STYLE, 0, 0},
    {27, "Static", 104, 195, 74, 15, "X", TEXT_GADGET_STYLE | SS_CENTER, WS_TABSTOP, 0},
    {28, "Static", 182, 195, 74, 15, "Y", TEXT_GADGET_STYLE | SS_CENTER, WS_TABSTOP, 0},
    {10, "Static", 10, 210, 94, 20, "Seitenl\xE4nge in mm:", TEXT_GADGET_STYLE,
     WS_TABSTOP | SS_CENTER, 0},
    {SIDE_X, "Edit", 104, 210, 74, 20, "", STRING_GADGET_STYLE, ES_NUMBER | ES_READONLY,
     WS_EX_CLIENTEDGE},
    {SIDE_Y, "Edit", 182, 210, 74, 20, "", STRING_GADGET_STYLE, ES_NUMBER | ES_READONLY,
     WS_EX_CLIENTEDGE},
    {MM_PER_STEP_X, "Edit", 104, 235, 74, 20, "", STRING_GADGET_STYLE | ES_READONLY, ES_NUMBER,
     WS_EX_CLIENTEDGE},
    {MM_PER_STEP_Y, "Edit", 182, 235, 74, 20, "", STRING_GADGET_STYLE | ES_READONLY, ES_NUMBER,
     WS_EX_CLIENTEDGE},
    {17, "Static", 10, 260, 94, 20, "Schritte je mm:", TEXT_GADGET_STYLE, WS_TABSTOP | SS_CENTER,
     0},
    {STEPS_PER_MM_X, "Edit", 104, 260, 74, 20, "", STRING_GADGET_STYLE | ES_READONLY, ES_NUMBER,
     WS_EX_CLIENTEDGE},
    {STEPS_PER_MM_Y, "Edit", 182, 260, 74, 20, "", STRING_GADGET_STYLE | ES_READONLY, ES_NUMBER,
     WS_EX_CLIENTEDGE},
    {22, "Static", 10, 285, 94, 20, "Diagonalen in mm:", TEXT_GADGET_STYLE, WS_TABSTOP | SS_CENTER,
     0},
    {DIAGONAL_FROM_START, "Edit", 104, 285, 74, 20, "", STRING_GADGET_STYLE,
     ES_NUMBER | ES_READONLY, WS_EX_CLIENTEDGE},
    {OTHER_DIAGONAL, "Edit", 182, 285, 74, 20, "", STRING_GADGET_STYLE, ES_NUMBER | ES_READONLY,
     WS_EX_CLIENTEDGE},
    {25, "Static", 10, 310, 94, 20, "Winkel X zu Y:", TEXT_GADGET_STYLE, WS_TABSTOP | SS_CENTER, 0},
    {ANGLE, "Edit", 104, 310, 152, 20, "", STRING_GADGET_STYLE | ES_READONLY, ES_NUMBER,
     WS_EX_CLIENTEDGE},
    {CALCULATE, "Button", 10, 335, 240, 20, "Berechnen!", BUTTON_GADGET_STYLE, 0, 0},
    {13, "Static", 10, 235, 94, 20, "Schrittweite in mm:", TEXT_GADGET_STYLE,
     WS_TABSTOP | SS_CENTER, 0},
};

// The gadget the window makes last: once it exists, every gadget does.
inline constexpr int LAST_GADGET_MADE = MAIN_GADGETS[std::size(MAIN_GADGETS) - 1].number;

// The gadgets Tab moves through: the tab stops, in the order the window makes them.
std::vector<int> TabCycle();

} // namespace testsupport

// String resources of the skin: layout rectangles ("left,top,right,bottom",
// in client pixels of the window that uses them), colours ("red,green,blue")
// and font heights (pixels). The values lay out the designed window of
// 1280 x 760 with a 36-pixel title strip, the 340-pixel right panel and the
// 935-pixel left panel, in one dark palette:
//   strip 24,26,30 - panels 32,34,40 - lists 38,40,46 - text 214,219,227
//   accent 0,150,255 (the colour of the generated images' highlights).
#include "resources/zov_resource_table.h"

extern const ZovStringResource kZovStrings[] = {
    // Main window: design size, title strip, title text, title buttons
    // (shifted with the right edge), file information window placement.
    {10106, "0,0,1280,760"},
    {10111, "0,0,1280,36"},
    {10115, "14,9,700,30"},
    {10135, "1246,4,1274,32"},  // close
    {10136, "1142,4,1170,32"},  // panel switch
    {10137, "1214,4,1242,32"},  // maximise / restore
    {10138, "1182,4,1210,32"},  // minimise
    {10322, "24,52,464,508"},
    {10114, "24,26,30"},        // strip
    {10116, "214,219,227"},     // title text
    {10117, "15"},              // title font

    // Setup page (340 x 724): three sections with their titles, the
    // language list, the screenshot folder, version and support lines.
    {10109, "0,0,340,724"},
    {10232, "32,34,40"},        // page background
    {10233, "0,0,340,34"},      // "basesetup" title
    {10234, "0,150,340,184"},   // "softserver" title
    {10235, "0,240,340,274"},   // "softinfo" title
    {10236, "40,43,50"},        // section title background
    {10237, "0,150,255"},       // section title text
    {10238, "16"},              // section title font (bold)
    {10239, "20,46,150,72"},    // "selectlanguage" label
    {10242, "200,205,214"},     // label text
    {10243, "14"},              // label font
    {10244, "160,44,320,300"},  // language list
    {10245, "160,140,320,300"}, // map list
    {10246, "160,170,320,300"}, // speed unit list
    {10249, "14"},              // list and edit font
    {10250, "20,194,160,224"},  // update check button
    {10251, "52,56,64"},        // button face
    {10253, "235,238,242"},     // button text
    {10254, "14"},              // button font
    {10255, "160,130,204,152"}, // track toggle
    {10256, "0,284,340,310"},   // version line
    {10257, "150,156,166"},     // version text
    {10260, "20,318,320,340"},  // support line 1
    {10261, "20,366,320,388"},  // support line 3
    {10262, "20,342,320,364"},  // support line 2
    {10263, "20,400,320,422"},  // "warn"
    {10264, "20,424,320,524"},  // "warning"
    {10265, "170,176,186"},     // support text
    {10266, "13"},              // support font
    {10270, "58,62,70"},        // separator lines
    {10272, "20,128,320,148"},  // track option row

    // Play window (935 x 74 at the bottom of the left panel): seek bar
    // across the top, transport buttons, volume, time and position texts.
    // The bottom row as the play window centres it in the designed width:
    // sound, volume, previous, play, next, stop, open file, screenshot.
    {10164, "405,32,441,68"},   // previous
    {10165, "521,32,557,68"},   // next
    {10166, "461,30,501,70"},   // play / pause
    {10167, "577,32,613,68"},   // stop
    {10168, "633,32,669,68"},   // open file
    {10169, "689,32,725,68"},   // screenshot
    {10170, "209,32,245,68"},   // sound
    {10193, "0,32,36,68"},      // picture back (placed by the row's layout)
    {10194, "0,32,36,68"},      // picture forward
    {10195, "0,37,48,63"},      // playback speed
    {10172, "7,8,113,12"},      // volume track band
    {10173, "265,40,385,60"},   // volume slider
    {10174, "8,8,907,12"},      // seek track band
    {10176, "10,6,925,26"},     // seek bar
    {10177, "745,32,925,50"},   // latitude (right-aligned by the play window)
    {10178, "745,50,925,68"},   // longitude
    {10179, "16,36,190,64"},    // time, left of the centred button row
    {10180, "32,34,40"},        // background
    {10182, "150,190,235"},     // position text
    {10184, "0,150,255"},       // seek played part
    {10185, "64,69,78"},        // seek track
    {10186, "0,150,255"},       // volume played part
    {10187, "64,69,78"},        // volume track
    {10188, "16"},              // time font
    {10189, "13"},              // position font

    // Map panel (340 wide): browser area, dials over its right edge.
    {10205, "0,0,340,420"},     // browser
    {10206, "226,122,336,232"}, // compass
    {10207, "226,6,336,116"},   // speedometer
    {10209, "0,0,110,110"},     // compass needle (full-size overlay)
    {10210, "0,0,110,110"},     // speedometer needle (full-size overlay)
    {10214, "32,34,40"},        // panel fill
    {10227, "15,74,95,94"},     // speed caption
    {10228, "12"},              // speed caption font
    {10229, "235,238,242"},     // speed caption text

    // File list view (below the browser area).
    {10284, "38,40,46"},        // list background, unselected row
    {10285, "0,0,340,28"},      // title
    {10286, "32,34,40"},        // panel background
    {10287, "214,219,227"},     // title text
    {10288, "15"},              // title font (bold)
    {10290, "0,0,340,24"},      // one row
    {10291, "190,196,206"},     // row text
    {10292, "13"},              // row font
    {10293, "255,255,255"},     // selected row text
    {10294, "0,104,186"},       // selected row fill
    {10297, "52,56,64"},        // add/delete bar buttons
    {10299, "235,238,242"},     // add/delete bar text
    {10300, "14"},              // add/delete bar font
    {10301, "326,28,340,304"},  // scroll bar
    {10305, "84,90,102"},       // scroll thumb

    // File information view (440 x 456): title and one row per fact.
    {10323, "24,26,30"},        // background
    {10324, "0,0,440,36"},      // title
    {10325, "0,96,176"},        // title background
    {10326, "255,255,255"},     // title text
    {10327, "16"},              // title font (bold)
    {10328, "205,210,218"},     // row text
    {10329, "14"},              // row font
    {10330, "16,44,424,68"},    // file name
    {10331, "16,68,424,92"},    // length
    {10332, "16,92,424,116"},   // resolution
    {10333, "16,116,424,140"},  // bit rate
    {10334, "16,140,424,164"},  // frame rate
    {10336, "16,164,424,188"},  // file type
    {10337, "16,188,424,212"},  // GPS points
    {10338, "16,212,424,236"},  // audio codec
    {10335, "16,236,424,260"},  // pixel format
    {10339, "16,260,424,284"},  // video codec
    {10342, "16,284,424,308"},  // decoder
    {10345, "16,308,424,332"},  // graphics adapter
    {10343, "16,332,424,356"},  // shader support
    {10346, "16,356,424,380"},  // H.264 profiles
    {10344, "16,380,424,404"},  // HEVC profiles
    {10347, "16,404,424,428"},  // system
    {10340, "0,0,24,24"},       // close button size

    // Busy notice (300 x 124): spinner above the message.
    {1802, "0,0,300,124"},      // window
    {1803, "30,32,38"},         // background
    {1806, "0,0,300,124"},
    {1807, "30,32,38"},
    {1808, "230,233,238"},
    {1809, "15"},
    {1810, "126,14,174,62"},    // spinner frame
    {1812, "10,70,290,112"},    // message
    {1814, "230,233,238"},      // message text
    {1815, "15"},               // message font
};

extern const int kZovStringCount = static_cast<int>(sizeof(kZovStrings) / sizeof(kZovStrings[0]));

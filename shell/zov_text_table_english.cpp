// English texts. Tables 2 ("english"), 9 ("Turkey") and 10 ("Hebrew") all
// hold them; 9 and 10 store the key "newestversion" with a trailing blank,
// so a look-up of the plain key finds nothing there.
#include "shell/zov_text_table_data.h"

namespace {

// Every key except the unit names and "mirror_tip", in the reference order;
// "delete" appears twice (the first one is found).
#define ZOV_ENGLISH_ENTRIES(NEWEST_KEY)                                                        \
  {"netwarning", "no network connection£¬have no Gps Track"},                                  \
  {"mutlanguage", "Multi-language"},                                                           \
  {"basesetup", "Base Setup"},                                                                 \
  {"selectlanguage", "Language:"},                                                             \
  ZOV_LANGUAGE_NAME_ENTRIES                                                                    \
  {"selectmap", "Maps :"},                                                                     \
  {"gaode", "Amap"},                                                                           \
  {"google", "Google Map"},                                                                    \
  {"Openstreet", "OpenstreetMap"},                                                             \
  {"trackconnect", "Track Connect:"},                                                          \
  {"playmode", "Play Mode"},                                                                   \
  {"decodemode", "Decode Mode:"},                                                              \
  {"dxva2errormsg", "Vadx2 acceleration failed\nPlease change the decoding method"},           \
  {"softserver", "Software"},                                                                  \
  {"softup", "Detection Update"},                                                              \
  {"softinfo", "Software Information"},                                                        \
  {"version", "Version"},                                                                      \
  {"nonetwork", "Can Not Connect network!"},                                                   \
  {"updating", "Updating..."},                                                                 \
  {"updatingfinish", "Update finish! please reset APP"},                                       \
  {"mapwarning", "Please stop playing,otherwise can't change the map successfully!"},          \
  {"decode_warning", "Please stop playing,otherwise can't change the decode mode successfully！"}, \
  {"warn", "Notice"},                                                                          \
  {"warning", "Keep your eyes on the road: do not operate the player while driving. "          \
              "Positions and speeds are shown as the camera recorded them and may differ "     \
              "from the real ones."},                                                          \
  {"team", "Made by the Quelna player team"},                                                  \
  {"filename", "File name:"},                                                                  \
  {"filetime", "Duration:"},                                                                   \
  {"filetype", "File type:"},                                                                  \
  {"gpsinfo", "GPS:"},                                                                         \
  {"audioinfo", "Audio:"},                                                                     \
  {"videoinfo", "Video:"},                                                                     \
  {"resolution", "Resolution:"},                                                               \
  {"bitratio", "Bit rate:"},                                                                   \
  {"frameratio", "Frame rate:"},                                                               \
  {"filesize", "File size:"},                                                                  \
  {"mediainfo", "Media Information"},                                                          \
  {"pixelformat", "Pixel format:"},                                                            \
  {"have", "Yes"},                                                                             \
  {"nohave", "None"},                                                                          \
  {"normalfile", "Normal recording"},                                                          \
  {"block", "points"},                                                                         \
  {"sleftmousefun", "Click: select"},                                                          \
  {"srightmousefun", "Right click: menu"},                                                     \
  {"drightmousefun", "Double click: full screen"},                                             \
  {"playing", "Playing"},                                                                      \
  {"add", "Add"},                                                                              \
  {"delete", "Delete"},                                                                        \
  {"filelist", "File List"},                                                                   \
  {"server", "Server"},                                                                        \
  {"moments", "Moments"},                                                                      \
  {"local", "Local"},                                                                          \
  {"newest", "Newest"},                                                                        \
  {"recommand", "Recommended"},                                                                \
  {"nextpage", "Next page"},                                                                   \
  {"prepage", "Previous page"},                                                                \
  {"newvideo", "New videos"},                                                                  \
  {"fileinfo", "File Information"},                                                            \
  {"browseCount", "Views"},                                                                    \
  {"uploadDate", "Upload date"},                                                               \
  {"allshow", "Show all"},                                                                     \
  {"delete", "Delete file"},                                                                   \
  {"unit", "Speed unit:"},                                                                     \
  {NEWEST_KEY, "It is the latest version"},                                                    \
  {"APPalreadyexist", "An app has been launched"},                                             \
  {"email", "Support: support@quelna.example"},                                                \
  {"web", "Web: www.quelna.example"},                                                          \
  {"company", "Quelna Player Project"},                                                        \
  {"trailadjust", "Track adjust"},                                                             \
  {"clipfinish", "Clip saved"},                                                                \
  {"cliperror", "Clip failed"},                                                                \
  {"clip", "Clip"},                                                                            \
  {"cliprange", "Clip range"},                                                                 \
  {"decoder", "Decoder:"},                                                                     \
  {"hwcodec", "Hardware decoding"},                                                            \
  {"softcodec", "Software decoding"},                                                          \
  {"gpuname", "Graphics adapter"},                                                             \
  {"dxdsupport", "Shader acceleration"},                                                       \
  {"h264support", "H.264 hardware decoding"},                                                  \
  {"h265support", "H.265 hardware decoding"},                                                  \
  {"sysinfo", "System"},                                                                       \
  {"gpstrack", "GPS track"},                                                                   \
  {"trackwarning", "If the GPS track display abnormal, please go to [Setting] and check the [trail adjust]"}, \
  {"filepath", "File Save Path:"},                                                             \
  {"allfile", "All files"},                                                                    \
  {"video", "Video files"},                                                                    \
  {"setfilepath", "Select save path"},                                                         \
  {"updateinfo", "UPDATE"},                                                                    \
  {"pre_tip", "Previous file"},                                                                \
  {"play_tip", "Play / Pause"},                                                                \
  {"next_tip", "Next file"},                                                                   \
  {"stop_tip", "Stop"},                                                                        \
  {"file_tip", "Open file"},                                                                   \
  {"cut_tip", "Screenshot"},                                                                   \
  {"sound_tip", "Sound on / off"},                                                             \
  {"warning_delete", "Unable to delete the playing file"},                                     \
  {"title_delete", "warning"},                                                                 \
  {"same file", "The same file exists"},                                                       \
  {"ensure", "ensure"},                                                                        \
  {"order", "order"},                                                                          \
  {"single", "single"},                                                                        \
  {"on", "on"},                                                                                \
  {"off", "off"},                                                                              \
  {"total_distance", "Total distance"},                                                        \
  {"average_speed", "Average speed"},                                                          \
  {"latitude", "Latitude"},                                                                    \
  {"longitude", "Longitude"},                                                                  \
  {"decode_soft", "Soft Decoding"},                                                            \
  {"decode_dxva", "DXVA"},                                                                     \
  {"decode_dx11", "DX11"},                                                                     \
  {"getgpsinfo", "Reading GPS information..."},                                                \
  {"show", "WARRING"},                                                                         \
  {"createError", "File Error，Check File Path"},                                              \
  {"F", ""}

constexpr ZovTextEntry kEnglish[] = {ZOV_ENGLISH_ENTRIES("newestversion")};
constexpr ZovTextEntry kTurkish[] = {ZOV_ENGLISH_ENTRIES("newestversion ")};
constexpr ZovTextEntry kHebrew[] = {ZOV_ENGLISH_ENTRIES("newestversion ")};

#undef ZOV_ENGLISH_ENTRIES

}  // namespace

extern const ZovTextTable kZovTextTableEnglish = ZovMakeTextTable("english", "EngLish", kEnglish);
extern const ZovTextTable kZovTextTableTurkish = ZovMakeTextTable("Turkey", "Turkish", kTurkish);
extern const ZovTextTable kZovTextTableHebrew = ZovMakeTextTable("Hebrew", "Hebrew", kHebrew);

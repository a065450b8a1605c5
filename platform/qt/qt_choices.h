// The user's choices that the window keeps between runs, in Qt's settings for the user
// (~/.config/Trimora/Trimora.conf on Linux, the registry on Windows).
#pragma once

namespace trimora {

// Whether the preview's clean cut box was ticked when the window was last used; false at first.
bool LoadCleanCutChoice();
void SaveCleanCutChoice(bool clean);

// Whether the analysis measured the length (調べる) when the window was last used; false at first.
bool LoadMeasureChoice();
void SaveMeasureChoice(bool measure);

// Whether each save was re-read (保存後に確かめる) when the window was last used; false at first.
bool LoadVerifyChoice();
void SaveVerifyChoice(bool verify);

}  // namespace trimora

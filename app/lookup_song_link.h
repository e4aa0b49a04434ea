// The program's one piece of real work, run when "下载" is clicked.
#pragma once

// Cuts the hash and album id out of the edit box's address, fetches the
// song's record, shows its cover as the window's background and hands its
// audio address to the hidden HTML viewer, or says that none was found.
void LookupSongLink();

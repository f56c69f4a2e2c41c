// File exports that need no dialog of their own beyond the file chooser.
#pragma once

class CMainFrame;
class CScoreEditDoc;

// 导出MIDI文件: the performance of the score as a Standard MIDI File.
void ExportMidi(CMainFrame& frame, CScoreEditDoc& doc);

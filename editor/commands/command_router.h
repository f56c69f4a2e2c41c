// The handlers of the commands the view and the document carry. Each returns
// false when the id is not theirs, so the frame routes it on.
#pragma once

class CMainFrame;
class CScoreEditDoc;
class CScoreEditView;

bool RunViewCommand(CMainFrame& frame, CScoreEditView& view, int id);
bool RunDocumentCommand(CMainFrame& frame, CScoreEditDoc& doc, int id);

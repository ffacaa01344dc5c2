// The smallest toolkit program with the launcher's window: one borderless 480 x 300 frame, shown
// from OnInit. The start-up benchmark measures the launcher against it.
#include <wx/app.h>
#include <wx/frame.h>

namespace {

class minimal_app : public wxApp {
public:
    bool OnInit() override
    {
        wxFrame *frame = new wxFrame(nullptr, wxID_ANY, wxString::From8BitData("Minimal Frame"),
                                     wxDefaultPosition, wxSize(480, 300), wxBORDER_NONE);
        frame->Show(true);
        return true;
    }
};

} // namespace

wxIMPLEMENT_APP(minimal_app);

// Resource ids of the embedded driver libraries; shared by the resource
// script and the code that writes them out.
#pragma once
#define IDD_DLL_COM_ID 145
#define IDD_DLL_LPT_ID 146
#define IDD_DLL_USB_ID 147

// The site window's layout as data, built by every backend as the dialog's is.
#ifndef TILTWISE_RES_SITERESOURCES_H_
#define TILTWISE_RES_SITERESOURCES_H_

#include "res/resource.h"
#include "ui/DialogTemplate.h"

extern const ui::DialogTemplate kTiltwiseSite;  // resource IDD_TILTWISE_SITE
extern const ui::DialogTemplate kSitePrompt;    // IDD_SITE_PROMPT: a label, a file name
// IDD_SITE_RESTORE: a drop-down list of runs, whose choices the program fills in.
extern const ui::DialogTemplate kSiteRestore;
constexpr int kSiteRestoreRuns = 1;  // the drop-down list's place in kSiteRestore.controls

// The list's columns, in the order of the template's.
enum SiteColumn {
  kSiteName,
  kSiteLocation,
  kSiteAddress,
  kSiteUser,
  kSiteStatus,
  kSiteChip,
  kSiteFlipNow,
  kSiteMirrorNow,
  kSiteWantedFlip,
  kSiteWantedMirror,
  kSiteOutcome,
  kSiteCause,
  kSiteColumns
};

#endif  // TILTWISE_RES_SITERESOURCES_H_

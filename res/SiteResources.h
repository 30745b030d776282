// The site window's layout as data, built by every backend as the dialog's is.
#ifndef TILTWISE_RES_SITERESOURCES_H_
#define TILTWISE_RES_SITERESOURCES_H_

#include "res/resource.h"
#include "ui/DialogTemplate.h"

extern const ui::DialogTemplate kTiltwiseSite;  // resource IDD_TILTWISE_SITE

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

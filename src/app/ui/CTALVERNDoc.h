#pragma once
// The document of the single-document program. All data live in the
// work-space directory, so the document holds, reads and writes nothing.

class CTALVERNDoc {};

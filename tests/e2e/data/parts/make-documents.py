#!/usr/bin/env python3
"""Writes one flat ODF document per part of a document that the text may carry or leave out
(notes, headers, comments, frames, tracked changes, hidden text). The .docx and .doc kept here
are LibreOffice's own conversion of these files:
  ./make-documents.py /tmp/parts && cd /tmp/parts &&
  soffice --headless --convert-to docx --outdir DIR *.fodt && soffice --headless --convert-to doc --outdir DIR *.fodt
Each marker word says where it belongs, so a test sees at once what arrived where.
"""
import os, sys

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'xmlns:dc="http://purl.org/dc/elements/1.1/" '
      'office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text"')

def write(path, body, master='', auto='', changes=''):
    with open(path, 'w', encoding='utf-8') as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?><office:document %s>' % NS)
        f.write('<office:automatic-styles><style:style style:name="H" style:family="text">'
                '<style:text-properties text:display="none"/></style:style>'
                '<style:page-layout style:name="pm1"/>%s</office:automatic-styles>' % auto)
        f.write('<office:master-styles><style:master-page style:name="Standard" style:page-layout-name="pm1">'
                '%s</style:master-page></office:master-styles>' % master)
        f.write('<office:body><office:text>%s%s</office:text></office:body></office:document>' % (changes, body))

def p(*parts): return '<text:p>%s</text:p>' % ''.join(parts)
def note(cls, i, text):
    return ('<text:note text:id="%s%d" text:note-class="%s"><text:note-citation>%d</text:note-citation>'
            '<text:note-body><text:p>%s</text:p></text:note-body></text:note>') % (cls, i, cls, i, text)

out = sys.argv[1]; os.makedirs(out, exist_ok=True)
J = lambda n: os.path.join(out, n)
write(J('notes.fodt'), p('Body one', note('footnote', 1, 'FOOTNOTETEXT')) + p('Body two', note('endnote', 1, 'ENDNOTETEXT')))
write(J('headers.fodt'), p('Body text'),
      master='<style:header><text:p>HEADERTEXT</text:p></style:header><style:footer><text:p>FOOTERTEXT</text:p></style:footer>')
write(J('comments.fodt'), p('Body one', '<office:annotation><dc:creator>Ann Reviewer</dc:creator>'
                            '<dc:date>2024-01-02T03:04:05</dc:date><text:p>COMMENTTEXT</text:p></office:annotation>', ' end')
      + p('Body two'))
write(J('frames.fodt'), p('<draw:frame draw:name="Box" text:anchor-type="paragraph" svg:width="5cm" svg:height="2cm">'
                          '<draw:text-box><text:p>FRAMETEXT</text:p></draw:text-box></draw:frame>Body text'),
      auto='')
write(J('changes.fodt'),
      p('Body ', '<text:change text:change-id="c1"/>', 'kept ', '<text:change-start text:change-id="c2"/>INSERTEDTEXT<text:change-end text:change-id="c2"/>', ' end'),
      changes=('<text:tracked-changes>'
               '<text:changed-region text:id="c1"><text:deletion><office:change-info><dc:creator>Ann</dc:creator>'
               '<dc:date>2024-01-02T03:04:05</dc:date></office:change-info><text:p>DELETEDTEXT </text:p></text:deletion></text:changed-region>'
               '<text:changed-region text:id="c2"><text:insertion><office:change-info><dc:creator>Ann</dc:creator>'
               '<dc:date>2024-01-02T03:04:05</dc:date></office:change-info></text:insertion></text:changed-region>'
               '</text:tracked-changes>'))
write(J('hidden.fodt'), p('Body ', '<text:span text:style-name="H">HIDDENTEXT </text:span>', 'shown'))

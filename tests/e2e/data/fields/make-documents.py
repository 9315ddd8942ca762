#!/usr/bin/env python3
"""Writes the field and note documents of the field test as WordprocessingML (.docx).
Each field carries a stored result that differs from what a refresh computes, so a converter
that recomputes what the word processor keeps shows up. The .doc twins are LibreOffice's own
conversion of these files:
  ./make-documents.py . && soffice --headless --convert-to doc --outdir . *.docx
"""
import zipfile, sys, os
from xml.sax.saxutils import escape as X
W='xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
def run(t): return '<w:r><w:t xml:space="preserve">%s</w:t></w:r>'%X(t)
def fld(instr, result):
    return ('<w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> %s </w:instrText></w:r>'
            '<w:r><w:fldChar w:fldCharType="separate"/></w:r>%s<w:r><w:fldChar w:fldCharType="end"/></w:r>')%(X(instr), run(result) if result else '')
def simple(instr,result): return '<w:fldSimple w:instr=" %s ">%s</w:fldSimple>'%(instr, run(result))
def p(*parts, extra=''): return '<w:p>%s%s</w:p>'%(extra,''.join(parts))
def pagebreak(): return '<w:r><w:br w:type="page"/></w:r>'
def bm(name, inner):
    return '<w:bookmarkStart w:id="%d" w:name="%s"/>%s<w:bookmarkEnd w:id="%d"/>'%(1, name, inner, 1)
def fnref(i): return '<w:r><w:rPr><w:rStyle w:val="FootnoteReference"/></w:rPr><w:footnoteReference w:id="%d"/></w:r>'%i
def enref(i): return '<w:r><w:endnoteReference w:id="%d"/></w:r>'%i
def sect(extra=''): return '<w:sectPr>%s<w:pgSz w:w="12240" w:h="15840"/><w:pgMar w:top="1440" w:right="1440" w:bottom="1440" w:left="1440" w:header="720" w:footer="720" w:gutter="0"/></w:sectPr>'%extra
def write(name, body, notes=None, endnotes=None, props=None, settings=''):
    ct=('<?xml version="1.0" encoding="UTF-8" standalone="yes"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
        '<Override PartName="/word/footnotes.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml"/>'
        '<Override PartName="/word/endnotes.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.endnotes+xml"/>'
        '<Override PartName="/word/settings.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml"/>'
        '<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>'
        '<Override PartName="/docProps/custom.xml" ContentType="application/vnd.openxmlformats-officedocument.custom-properties+xml"/></Types>')
    rels=('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
          '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
          '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>'
          '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties" Target="docProps/custom.xml"/></Relationships>')
    drels=('<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
           '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes" Target="footnotes.xml"/>'
           '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes" Target="endnotes.xml"/>'
           '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings" Target="settings.xml"/></Relationships>')
    def notes_xml(tag, items):
        s='<?xml version="1.0" encoding="UTF-8"?><w:%ss %s><w:%s w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:%s><w:%s w:type="continuationSeparator" w:id="0"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:%s>'%(tag,W,tag,tag,tag,tag)
        for i,t in (items or []):
            s+='<w:%s w:id="%d"><w:p><w:r><w:%sRef/></w:r>%s</w:p></w:%s>'%(tag,i,tag,run(' '+t),tag)
        return s+'</w:%ss>'%tag
    core=('<?xml version="1.0" encoding="UTF-8"?><cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">'
          '<dc:title>Quarterly Field Report</dc:title><dc:creator>Ada Author</dc:creator></cp:coreProperties>')
    custom=('<?xml version="1.0" encoding="UTF-8"?><Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">'
            '<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="2" name="Client"><vt:lpwstr>Acme Ltd</vt:lpwstr></property></Properties>')
    sett='<?xml version="1.0" encoding="UTF-8"?><w:settings %s>%s</w:settings>'%(W,settings)
    doc='<?xml version="1.0" encoding="UTF-8" standalone="yes"?><w:document %s><w:body>%s</w:body></w:document>'%(W,body)
    with zipfile.ZipFile(name,'w',zipfile.ZIP_DEFLATED) as z:
        z.writestr('[Content_Types].xml',ct); z.writestr('_rels/.rels',rels); z.writestr('word/_rels/document.xml.rels',drels)
        z.writestr('word/document.xml',doc); z.writestr('word/footnotes.xml',notes_xml('footnote',notes)); z.writestr('word/endnotes.xml',notes_xml('endnote',endnotes))
        z.writestr('word/settings.xml',sett); z.writestr('docProps/core.xml',core); z.writestr('docProps/custom.xml',custom)

out=sys.argv[1]; os.makedirs(out, exist_ok=True)
J=lambda n: os.path.join(out,n)
# clock
write(J('clock.docx'), p(run('Year: '),fld('DATE \\@ "yyyy"','1999')) + p(run('Time: '),fld('TIME \\@ "HH"','07'))+sect())
# page fields in the body, stale results
write(J('pages.docx'), p(run('Page '),fld('PAGE','9'),run(' of '),fld('NUMPAGES','9'),run(', section pages '),fld('SECTIONPAGES','9'))
      + p(pagebreak()) + p(run('Second page: '),fld('PAGE','7'),run(' of '),fld('NUMPAGES','7'))
      # Far enough on that the office's first layout pass does not reach it.
      + ''.join(p(pagebreak()) for _ in range(80)) + p(run('Last page: '),fld('PAGE','7'))+sect())
# SEQ
write(J('seq.docx'), p(fld('SEQ CHAPTER \\h \\r 1',''),run('On October 5, 1990, Congress acted.'))
      + p(run('Figure '),fld('SEQ Figure \\* ARABIC','')) + p(run('Figure '),fld('SEQ Figure \\* ARABIC','')) 
      + p(run('Again '),fld('SEQ Figure \\c','')) + p(run('Restart '),fld('SEQ Figure \\r 5',''))
      + p(fld('SEQ CHAPTER \\h \\r 1','1'),run('Hidden with a stored result.'))+sect())
# refs
write(J('refs.docx'), p(bm('Target1', run('Bookmarked words')),run(' here'),fnref(1)) + p(run('See '),fld('REF Target1 \\h','old text'),run(', note '),fld('NOTEREF _Ref1 \\h','0'),run(', on page '),fld('PAGEREF Target1 \\h','9'))+sect(),
      notes=[(1,'A note.')])
# IF/COMPARE
write(J('if.docx'), p(run("It's "),fld('IF DATE \\@ "M-d" <> "1-4" "not "','not '),run("New years' Day")) + p(run('Compare: '),fld('COMPARE 1 = 2','0'),run(' and '),fld('IF 1 = 1 "yes" "no"','yes'))+sect())
# doc info
write(J('info.docx'), p(run('Dear '),fld('MERGEFIELD FirstName','«FirstName»'),run(', by '),fld('AUTHOR','Old Author'),run(' in '),fld('TITLE','Old Title'),run(' file '),fld('FILENAME','old.docx'),run(' client '),fld('DOCPROPERTY Client','Old Client'))+sect())
# toc/hyperlink/forms
write(J('toc.docx'), p(fld('TOC \\o "1-3" \\h','') ) + '<w:p><w:pPr><w:pStyle w:val="Heading1"/><w:outlineLvl w:val="0"/></w:pPr>%s</w:p>'%run('Intro heading')
      + p(run('Link: '),fld('HYPERLINK "http://127.0.0.1:9/x"','the site')) 
      + p(run('Name: '),'<w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val="Text1"/><w:enabled/><w:textInput/></w:ffData></w:fldChar></w:r><w:r><w:instrText> FORMTEXT </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r>'+run('typed name')+'<w:r><w:fldChar w:fldCharType="end"/></w:r>')
      + p(run('Box: '),'<w:r><w:fldChar w:fldCharType="begin"><w:ffData><w:name w:val="Check1"/><w:enabled/><w:checkBox><w:sizeAuto/><w:default w:val="1"/></w:checkBox></w:ffData></w:fldChar></w:r><w:r><w:instrText> FORMCHECKBOX </w:instrText></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r>', run(' checked'))+sect())
# ask/fillin
write(J('ask.docx'), ''.join(p(run('Q%d: '%i),fld('ASK Answer%d "Your answer?" \\d "default%d"'%(i,i),''),fld('REF Answer%d'%i,'stored%d'%i),run(' / '),fld('FILLIN "Fill me" \\d "filled%d"'%i,'given%d'%i)) for i in range(40))+sect())
# notes numbering
def notesdoc(name, restart):
    fp='<w:footnotePr><w:numRestart w:val="%s"/></w:footnotePr><w:endnotePr><w:numRestart w:val="%s"/></w:endnotePr>'%(restart,restart) if restart else ''
    body=p(run('One'),fnref(1),run(' two'),fnref(2),run(' end'),enref(1))+p(pagebreak())+p(run('Three'),fnref(3),run(' e2'),enref(2))
    body+=p(run('Sect'), extra='<w:pPr>%s</w:pPr>'%sect('<w:type w:val="nextPage"/>'+fp))
    body+=p(run('Four'),fnref(4),run(' e3'),enref(3))+sect(fp)
    write(J(name), body, notes=[(1,'n1'),(2,'n2'),(3,'n3'),(4,'n4')], endnotes=[(1,'e1'),(2,'e2'),(3,'e3')],
          settings=('<w:footnotePr>%s</w:footnotePr>'%('<w:numRestart w:val="%s"/>'%restart) if restart else ''))
notesdoc('notes-continuous.docx', None); notesdoc('notes-page.docx','eachPage'); notesdoc('notes-section.docx','eachSect')

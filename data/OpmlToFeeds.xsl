<?xml version="1.0" encoding="UTF-8"?>
<!--
  OPML (1.0, 1.1, 2.0) to a Quorvelle feed list.

  Every outline below body, at any depth, that carries a feed address becomes
  one Quorvelle_Feed directly inside Quorvelle_Categories: the folders of the
  file are flattened, the importing command chooses the category.

  The address is the outline's xmlUrl attribute in any letter case (xmlUrl,
  xmlURL, xmlurl, ... as real files spell it), blanks at its ends removed.
  Only http, https and ftp addresses are feeds: the "vfolder" markers of some
  readers, command pipes ("|script") and script addresses are skipped.
  The title is the title attribute, else the text attribute. The title is
  plain text here; the import puts it into the stored text form.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" version="1.0" encoding="UTF-8" indent="no"/>

  <xsl:variable name="upper" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>
  <xsl:variable name="lower" select="'abcdefghijklmnopqrstuvwxyz'"/>

  <xsl:template match="/">
    <Quorvelle_Feeds>
      <Quorvelle_Categories>
        <xsl:for-each select="/*[local-name() = 'opml']/*[local-name() = 'body']//*[local-name() = 'outline']">
          <xsl:variable name="address"
            select="normalize-space(@*[translate(local-name(), $upper, $lower) = 'xmlurl'][1])"/>
          <xsl:variable name="scheme" select="translate(substring-before($address, '://'), $upper, $lower)"/>
          <xsl:if test="$scheme = 'http' or $scheme = 'https' or $scheme = 'ftp'">
            <Quorvelle_Feed src="{$address}" enabled="true">
              <xsl:attribute name="title">
                <xsl:choose>
                  <xsl:when test="string(@title) != ''">
                    <xsl:value-of select="@title"/>
                  </xsl:when>
                  <xsl:otherwise>
                    <xsl:value-of select="@text"/>
                  </xsl:otherwise>
                </xsl:choose>
              </xsl:attribute>
            </Quorvelle_Feed>
          </xsl:if>
        </xsl:for-each>
      </Quorvelle_Categories>
    </Quorvelle_Feeds>
  </xsl:template>
</xsl:stylesheet>

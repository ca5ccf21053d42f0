<?xml version="1.0" encoding="UTF-8"?>
<!--
  Quorvelle feed list (Feeds.xml, or one category wrapped in Quorvelle_Feeds)
  to OPML 2.0.

  The General feeds (direct children of Quorvelle_Categories) become
  top-level outlines, each category an outline folder holding its feeds (a
  category nested in a category stays nested). Every feed is an outline of
  type "rss" whose text and title are its title and whose xmlUrl is its
  address.

  The parameter dateCreated carries the export time (RFC 822); the export
  passes it. The head title is the category's name for a single category,
  else "Quorvelle Feeds".
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" version="1.0" encoding="UTF-8" indent="yes"/>

  <xsl:param name="dateCreated" select="''"/>

  <xsl:template match="/">
    <opml version="2.0">
      <head>
        <title>
          <xsl:choose>
            <xsl:when test="string(/Quorvelle_Feeds/@name) != ''">
              <xsl:value-of select="/Quorvelle_Feeds/@name"/>
            </xsl:when>
            <xsl:otherwise>Quorvelle Feeds</xsl:otherwise>
          </xsl:choose>
        </title>
        <xsl:if test="$dateCreated != ''">
          <dateCreated><xsl:value-of select="$dateCreated"/></dateCreated>
        </xsl:if>
      </head>
      <body>
        <xsl:apply-templates select="/Quorvelle_Feeds/Quorvelle_Categories/*"/>
      </body>
    </opml>
  </xsl:template>

  <xsl:template match="Quorvelle_Category">
    <outline text="{@name}" title="{@name}">
      <xsl:apply-templates select="*"/>
    </outline>
  </xsl:template>

  <xsl:template match="Quorvelle_Feed[string(@src) != '']">
    <outline type="rss" text="{@title}" title="{@title}" xmlUrl="{@src}"/>
  </xsl:template>

  <!-- Feeds without an address and anything unknown are left out. -->
  <xsl:template match="*"/>
</xsl:stylesheet>

<?xml version="1.0" encoding="UTF-8"?>
<!-- Quorvelle headlines report: the start page. Lists the categories and
     the General feeds with their latest headlines. Names and titles are
     written as text only. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"/>

  <xsl:template match="/">
    <xsl:apply-templates select="Quorvelle_Feeds/Quorvelle_Categories"/>
  </xsl:template>

  <xsl:template match="Quorvelle_Categories">
    <div class="q-index q-start">
      <xsl:if test="Quorvelle_Category">
        <section class="q-categories">
          <h1>Categories</h1>
          <ul class="q-category-list">
            <xsl:for-each select="Quorvelle_Category">
              <xsl:sort select="translate(@name, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')"/>
              <li>
                <xsl:choose>
                  <xsl:when test="*">
                    <xsl:variable name="folder">
                      <xsl:call-template name="folder-name">
                        <xsl:with-param name="name" select="@name"/>
                        <xsl:with-param name="n"
                          select="count(preceding-sibling::Quorvelle_Category[@name = current()/@name]) + 1"/>
                      </xsl:call-template>
                    </xsl:variable>
                    <a class="q-category-link" data-folder="{$folder}" href="{$folder}/index.html">
                      <xsl:value-of select="@name"/>
                    </a>
                    <small class="q-count">
                      <xsl:variable name="n" select="count(Quorvelle_Feed[@enabled='true'])"/>
                      <xsl:value-of select="$n"/>
                      <xsl:choose>
                        <xsl:when test="$n = 1"> feed</xsl:when>
                        <xsl:otherwise> feeds</xsl:otherwise>
                      </xsl:choose>
                    </small>
                  </xsl:when>
                  <xsl:otherwise>
                    <span class="q-category-empty">
                      <xsl:value-of select="@name"/>
                      <small> &#8211; No feeds yet</small>
                    </span>
                  </xsl:otherwise>
                </xsl:choose>
              </li>
            </xsl:for-each>
          </ul>
        </section>
      </xsl:if>
      <section class="q-feeds">
        <h1>General</h1>
        <xsl:choose>
          <xsl:when test="Quorvelle_Feed[@enabled='true']">
            <ul class="q-feed-list">
              <xsl:apply-templates select="Quorvelle_Feed"/>
            </ul>
          </xsl:when>
          <xsl:otherwise>
            <p class="q-note">No feeds in General.</p>
          </xsl:otherwise>
        </xsl:choose>
      </section>
    </div>
  </xsl:template>

  <!-- One feed of the list; the number is its position among the feeds of
       its level, which names its page. -->
  <xsl:template match="Quorvelle_Feed">
    <xsl:if test="@enabled = 'true'">
      <li class="q-feed-entry">
        <h2>
          <a href="{count(preceding-sibling::Quorvelle_Feed) + 1}.html">
            <xsl:choose>
              <xsl:when test="normalize-space(@title) != ''"><xsl:value-of select="@title"/></xsl:when>
              <xsl:otherwise><xsl:value-of select="@src"/></xsl:otherwise>
            </xsl:choose>
          </a>
        </h2>
        <div class="q-feed-slot" data-src="{@src}" data-limit="3">
          <p class="q-loading">Loading headlines&#8230;</p>
        </div>
      </li>
    </xsl:if>
  </xsl:template>

  <!-- The folder of a category, as the report's generator names it: its
       name, except that '/' becomes a blank and an empty name, "." or ".."
       get a leading '_'; a name of one of the report's own files (index.html,
       details.xsl, 3.xml, ...) and the n-th category of a name repeated at
       one level (n > 1) get " [n]" appended. -->
  <xsl:template name="folder-name">
    <xsl:param name="name"/>
    <xsl:param name="n" select="1"/>
    <xsl:variable name="t" select="translate($name, '/', ' ')"/>
    <xsl:variable name="base">
      <xsl:if test="$t = '' or $t = '.' or $t = '..'">_</xsl:if>
      <xsl:value-of select="$t"/>
    </xsl:variable>
    <xsl:variable name="number" select="substring-before($base, '.')"/>
    <xsl:variable name="extension" select="substring-after($base, '.')"/>
    <xsl:value-of select="$base"/>
    <xsl:if test="$n &gt; 1 or $base = 'index.html' or $base = 'index.xml' or $base = 'index.xsl'
                  or $base = 'details.xsl' or $base = 'ReportErrors.js'
                  or ($number != '' and translate($number, '0123456789', '') = ''
                      and ($extension = 'xml' or $extension = 'html'))">
      <xsl:value-of select="concat(' [', $n, ']')"/>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
